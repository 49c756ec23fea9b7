#pragma once
// The result's defined names: sheet-scoped names travel with their sheet (localSheetId becomes
// the copy's position), workbook names travel when a copied formula uses them; a workbook name
// that clashes with a different one already in the result becomes a name local to the copy
// that needs it, which overrides the workbook name for formulas on that sheet.

#include "spreadsheet/ooxml/xml/Xml.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

struct ResultDefinedName {
    std::string name;
    std::optional<int> localSheet; // 0-based position in the result's <sheets>
    std::string formula;
    XmlNode source;         // the source element, for its other attributes (hidden, comment...)
    std::string origin;     // identity of the source package
    std::string sourceText; // the formula as written in the source
};

class ResultDefinedNames {
public:
    const ResultDefinedName* find(std::string_view name, std::optional<int> localSheet) const;
    void add(ResultDefinedName name);
    // Any name of that spelling, in any scope.
    bool contains(std::string_view name) const;
    const std::vector<ResultDefinedName>& all() const { return names_; }
    // The <definedNames> element, or "" when there are none.
    std::string toXml() const;

private:
    std::vector<ResultDefinedName> names_;
};

// Defined names compare without regard to (ASCII) case.
bool DefinedNamesEqual(std::string_view a, std::string_view b);

} // namespace quillory::spreadsheet::ooxml
