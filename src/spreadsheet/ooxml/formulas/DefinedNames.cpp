#include "spreadsheet/ooxml/formulas/DefinedNames.h"

#include <algorithm>

namespace quillory::spreadsheet::ooxml {

bool DefinedNamesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

const ResultDefinedName* ResultDefinedNames::find(std::string_view name,
                                                  std::optional<int> localSheet) const {
    for (const auto& entry : names_) {
        if (entry.localSheet == localSheet && DefinedNamesEqual(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

bool ResultDefinedNames::contains(std::string_view name) const {
    return std::any_of(names_.begin(), names_.end(),
                       [&](const auto& entry) { return DefinedNamesEqual(entry.name, name); });
}

void ResultDefinedNames::add(ResultDefinedName name) {
    names_.push_back(std::move(name));
}

std::string ResultDefinedNames::toXml() const {
    if (names_.empty()) {
        return {};
    }
    std::string out = "<definedNames>";
    for (const auto& entry : names_) {
        XmlNode node;
        node.name = "definedName";
        node.attributes.emplace_back("name", entry.name);
        for (const auto& [key, value] : entry.source.attributes) {
            if (key == "name" || key == "localSheetId") {
                continue;
            }
            node.attributes.emplace_back(key, value);
        }
        if (entry.localSheet) {
            node.attributes.emplace_back("localSheetId", std::to_string(*entry.localSheet));
        }
        node.setTextContent(entry.formula);
        AppendNode(out, node);
    }
    out += "</definedNames>";
    return out;
}

} // namespace quillory::spreadsheet::ooxml
