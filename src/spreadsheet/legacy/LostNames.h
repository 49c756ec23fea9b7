#pragma once
// Defined names of a legacy workbook that LibreOffice's conversion leaves out (it loses some names
// of Excel 5.0 files), and the formulas that use them, which it turns into #NAME? or into bare
// #VALUE! results without their text, put back from another conversion of the same workbook that
// keeps them (Gnumeric's): each lost name with its scope, and each formula cell of the source that
// came out without a formula, or with #NAME? in it, takes that conversion's formula and result.

#include "spreadsheet/legacy/ConversionWorkbook.h"
#include "spreadsheet/legacy/LegacyFormats.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

namespace quillory::spreadsheet::legacy {

// A formula and its result as a package writes them in a cell (<f>, the cell's t, <v>).
struct TakenFormula {
    std::string formula;
    std::string type;
    std::string value;
};

class LostNames {
public:
    // `converted`: the workbook part of the conversion being corrected, which must outlive this.
    LostNames(const ConvertedWorkbook& converted, const LegacyWorkbookFormats& formats,
              std::string fileName);

    // True when the conversion lacks some name of the workbook's own.
    bool needed() const { return !lost_.empty(); }
    // Drops the empty twins the conversion made of lost names, and takes each name still missing,
    // and the formulas of the sheets (by name) given, from `donor`, whose workbook part is
    // `donorWorkbook`; null when no other conversion could be made, `failure` saying why in the
    // notes.
    void mend(const ooxml::ZipReader* donor, const OtherWorkbook& donorWorkbook,
              const std::map<std::string, std::string>& convertedSheets,
              const std::string& failure);

    // The other conversion's formulas of a sheet by cell (LegacySheetFormats::CellKey); null for
    // none.
    const std::unordered_map<std::uint32_t, TakenFormula>*
    formulasOf(const std::string& sheet) const;
    // A sentence for a sheet whose `broken` formulas stay as the conversion left them.
    std::string note(std::size_t broken) const;
    bool replaces(const std::string& entry) const { return !workbook_.empty() && entry == part_; }
    void write(ooxml::ZipWriter& out) const;

private:
    using NameKey = std::pair<std::string, std::string>; // folded name, scope sheet name
    void rewriteWorkbook(const std::map<NameKey, std::string>& kept);

    const LegacyWorkbookFormats& formats_;
    std::string fileName_;
    std::string part_;                   // the converted workbook part
    const ooxml::XmlNode& workbookTree_; // and its tree, as converted
    std::vector<LegacyName> lost_;
    std::string reason_;
    std::string workbook_; // the converted workbook part with the names added; empty: unchanged
    std::map<std::string, std::unordered_map<std::uint32_t, TakenFormula>> formulas_;
};

} // namespace quillory::spreadsheet::legacy
