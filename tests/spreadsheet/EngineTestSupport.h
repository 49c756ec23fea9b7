#pragma once
// Helpers shared by the engine's own tests: writing mini packages to disk and reading back what
// the engine wrote.

#include "EnginePackages.h"
#include "spreadsheet/EngineApplication.h"
#include "spreadsheet/ooxml/xml/Xml.h"
#include "support/ExpectFailure.h"
#include "support/PackageChecker.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

namespace quillory::testing {

inline std::filesystem::path WriteBook(const TempDir& dir, const std::string& name,
                                       const MiniWorkbook& book) {
    const auto file = dir / name;
    BuildPackage(book).write(file);
    return file;
}

// A part of a written package as a tree; fails the test when the part is missing.
inline spreadsheet::ooxml::XmlNode PartTree(const PackageEntries& package,
                                            const std::string& part) {
    const std::string* bytes = package.find(part);
    if (bytes == nullptr) {
        ADD_FAILURE() << "missing part " << part;
        return {};
    }
    return spreadsheet::ooxml::ParseXmlTree(*bytes, "result", part);
}

// The first element with this local name anywhere below `node` whose attribute `key` equals
// `value` (any element when key is empty).
inline const spreadsheet::ooxml::XmlNode* FindElement(const spreadsheet::ooxml::XmlNode& node,
                                                      std::string_view local,
                                                      std::string_view key = {},
                                                      std::string_view value = {}) {
    for (const auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        if (child.localName() == local &&
            (key.empty() || child.attributeOr(std::string(key), "") == value)) {
            return &child;
        }
        if (const auto* found = FindElement(child, local, key, value)) {
            return found;
        }
    }
    return nullptr;
}

// A cell of a sheet by its reference; fails the test when it is missing.
inline const spreadsheet::ooxml::XmlNode& CellOf(const spreadsheet::ooxml::XmlNode& sheet,
                                                 std::string_view ref) {
    static const spreadsheet::ooxml::XmlNode none;
    const auto* cell = FindElement(sheet, "c", "r", ref);
    EXPECT_NE(cell, nullptr) << "no cell " << ref;
    return cell != nullptr ? *cell : none;
}

// The text of a cell's child (its formula "f" or value "v"); "-" when it has none.
inline std::string CellText(const spreadsheet::ooxml::XmlNode& sheet, std::string_view ref,
                            std::string_view child = "v") {
    const auto* found = CellOf(sheet, ref).child(child);
    return found != nullptr ? found->textContent() : "-";
}

inline int CountElements(const spreadsheet::ooxml::XmlNode& node, std::string_view local) {
    int count = 0;
    for (const auto& child : node.children) {
        if (!child.isText()) {
            count += (child.localName() == local ? 1 : 0) + CountElements(child, local);
        }
    }
    return count;
}

// Runs the merge sequence of the desktop program over the engine: a new workbook reduced to a
// placeholder, every (file, sheet) copied before it, the placeholder deleted, saved.
struct Copy {
    std::filesystem::path file;
    std::string sheet;
};
inline spreadsheet::MergeReport MergeInto(const std::filesystem::path& output,
                                          const std::vector<Copy>& copies) {
    auto application = spreadsheet::CreateEngineApplication();
    spreadsheet::Workbook& result = application->Workbooks().Add();
    result.AllSheets().Item(1).SetName("Placeholder");
    int next = 1;
    for (const auto& copy : copies) {
        spreadsheet::Workbook& source = application->Workbooks().Open(copy.file);
        source.Worksheets().Item(copy.sheet).CopyBefore(result.AllSheets().Item(next++));
        source.Close(true);
    }
    result.AllSheets().Item(next).Delete();
    result.AllSheets().Item(1).Select();
    result.SaveAs(output);
    spreadsheet::MergeReport report = application->Report();
    application->Quit();
    return report;
}

// A merge written to dir/out.xlsx, read back and held to the structural checker.
struct MergedPackage {
    PackageEntries package;
    spreadsheet::MergeReport report;
    spreadsheet::ooxml::XmlNode sheet(int n) const {
        return PartTree(package, "xl/worksheets/sheet" + std::to_string(n) + ".xml");
    }
};

inline MergedPackage MergeAndRead(const TempDir& dir, const std::vector<Copy>& copies) {
    MergedPackage merged;
    merged.report = MergeInto(dir / "out.xlsx", copies);
    merged.package = PackageEntries::read(dir / "out.xlsx");
    for (const auto& problem : checkPackage(merged.package)) {
        ADD_FAILURE() << "structural checker: " << problem;
    }
    return merged;
}

inline bool ReportHas(const spreadsheet::MergeReport& report, spreadsheet::ReportKind kind,
                      std::string_view text = {}) {
    return std::any_of(report.items.begin(), report.items.end(), [&](const auto& item) {
        return item.kind == kind && item.message.find(text) != std::string::npos;
    });
}

} // namespace quillory::testing
