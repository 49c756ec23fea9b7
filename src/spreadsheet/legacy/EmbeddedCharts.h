#pragma once
// Charts embedded in the worksheets of a legacy workbook that LibreOffice's conversion leaves out
// (it drops some, those of no height and with data on deleted sheets among them), put back from
// another conversion of the same workbook that keeps them (Gnumeric's). Only a sheet whose
// conversion holds no chart at all takes charts: its drawing (made where it has none) gets the
// other conversion's chart anchors, each chart with the parts it reaches. Everything the
// transfer needs is read before anything is written, so a damaged second conversion changes no
// sheet; each sheet whose charts do not all come over gets a note.

#include "spreadsheet/legacy/ConversionWorkbook.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace quillory::spreadsheet::legacy {

class EmbeddedChartTransfer {
public:
    // `sheets`: the converted package's worksheet parts by sheet name; `wanted`: the charts the
    // source's records embed in each sheet, by sheet name.
    EmbeddedChartTransfer(const ooxml::ZipReader& converted,
                          const std::map<std::string, std::string>& sheets,
                          const std::map<std::string, std::size_t>& wanted, std::string fileName);

    // True when some sheet of the conversion lacks every chart its source embeds.
    bool needed() const { return !lacking_.empty(); }
    // Takes the charts of the lacking sheets from `donor`, the other conversion, whose workbook
    // part is `donorWorkbook`.
    void takeFrom(const ooxml::ZipReader& donor, const OtherWorkbook& donorWorkbook);
    // No other conversion could be made: `reason` completes the note of each lacking sheet.
    void giveUp(const std::string& reason);

    // A sentence per sheet whose charts did not all come over, by sheet name.
    const std::map<std::string, std::string>& notes() const { return notes_; }
    // The relationship id of the drawing a sheet part must now name; nothing when it gets none.
    std::optional<std::string> drawingIdFor(const std::string& sheetPart) const;
    // True for the converted package's entries this transfer writes anew.
    bool replaces(const std::string& entry) const { return entries_.count(entry) != 0; }
    // Writes every new and replaced entry.
    void write(ooxml::ZipWriter& out) const;

private:
    struct Lacking {
        std::string sheetPart;
        std::optional<std::string> drawingPart; // the conversion's drawing, without charts
        std::size_t wanted = 0;
    };
    // What the transfer writes, gathered sheet by sheet; a sheet that fails adds nothing.
    struct Staged {
        std::map<std::string, std::string> entries;    // part name -> bytes
        std::map<std::string, std::string> overrides;  // part name -> content type
        std::map<std::string, std::string> drawingIds; // sheet part -> relationship id
        std::set<std::string> taken;                   // folded part names in use
    };

    std::size_t carry(const ooxml::ZipReader& donor, const ooxml::ContentTypes& donorTypes,
                      const std::map<std::string, std::string>& donorSheets,
                      const std::string& sheetName, const Lacking& lacking, Staged& staged) const;
    void note(const std::string& sheetName, std::size_t wanted, std::size_t carried,
              const std::string& reason);

    const ooxml::ZipReader& converted_;
    std::string fileName_;
    std::map<std::string, Lacking> lacking_;
    std::map<std::string, std::string> notes_;
    std::map<std::string, std::string> entries_; // part name -> bytes
    std::map<std::string, std::string> drawingIds_;
};

} // namespace quillory::spreadsheet::legacy
