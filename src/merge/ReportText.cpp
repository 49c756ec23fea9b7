#include "merge/ReportText.h"

#include <map>
#include <vector>

namespace quillory::merge {

namespace {

using spreadsheet::ReportItem;
using spreadsheet::ReportKind;

constexpr ReportKind kGroupOrder[] = {ReportKind::SheetRenamed,     ReportKind::NameChanged,
                                      ReportKind::FormulaAsValue,   ReportKind::PartNotCarried,
                                      ReportKind::MayLookDifferent, ReportKind::Converted};

const char* GroupTitle(ReportKind kind) {
    switch (kind) {
    case ReportKind::SheetRenamed:
        return "Sheets renamed";
    case ReportKind::NameChanged:
        return "Tables and names renamed";
    case ReportKind::FormulaAsValue:
        return "Formulas kept as their last values";
    case ReportKind::PartNotCarried:
        return "Not carried over";
    case ReportKind::MayLookDifferent:
        return "May look different";
    case ReportKind::Converted:
        return "Converted from another format";
    }
    return "Other changes";
}

// The item's own sentence, led by its merge entry (workbook and sheet) when the sentence does
// not name its workbook (a merge of many workbooks can have several sheets of one name), or one
// made from where it comes from.
std::string LineFor(const ReportItem& item) {
    if (!item.message.empty()) {
        if (item.sourceFile.empty() || item.message.find(item.sourceFile) != std::string::npos) {
            return item.message;
        }
        if (item.sourceSheet.empty()) {
            return item.sourceFile + ": " + item.message;
        }
        return item.sourceFile + ", sheet '" + item.sourceSheet + "': " + item.message;
    }
    std::string line = item.sourceFile;
    if (!item.sourceSheet.empty()) {
        line += (line.empty() ? "" : ", ") + item.sourceSheet;
    }
    if (!item.resultSheet.empty() && item.resultSheet != item.sourceSheet) {
        line += " -> " + item.resultSheet;
    }
    return line;
}

} // namespace

std::string DescribeReportItem(const ReportItem& item) {
    // The command line lists every item, so each one says which copy it is about.
    const bool renamed = !item.resultSheet.empty() && !item.sourceSheet.empty() &&
                         item.resultSheet != item.sourceSheet;
    if (item.message.empty() || item.sourceFile.empty() || item.sourceSheet.empty() ||
        item.message.find(item.sourceFile) != std::string::npos || !renamed ||
        item.message.find("'" + item.resultSheet + "'") != std::string::npos) {
        return LineFor(item);
    }
    return item.sourceFile + ", sheet '" + item.sourceSheet + "' (copied as '" + item.resultSheet +
           "'): " + item.message;
}

std::string DescribeMergeReport(const spreadsheet::MergeReport& report) {
    if (report.empty()) {
        return {};
    }
    std::string text = "The merged workbook differs from its sources:";
    for (const ReportKind kind : kGroupOrder) {
        // Distinct lines in the order first met, each with how often it came.
        std::vector<std::string> lines;
        std::map<std::string, int> repeats;
        std::size_t itemCount = 0;
        for (const ReportItem& item : report.items) {
            if (item.kind != kind) {
                continue;
            }
            ++itemCount;
            const std::string line = LineFor(item);
            if (repeats[line]++ == 0) {
                lines.push_back(line);
            }
        }
        if (itemCount == 0) {
            continue;
        }
        text += "\n\n" + std::string(GroupTitle(kind)) + " (" + std::to_string(itemCount) + "):";
        for (std::size_t i = 0; i < lines.size() && i < kMaxReportLinesPerGroup; ++i) {
            text += "\n- " + lines[i];
            if (const int times = repeats[lines[i]]; times > 1) {
                text += " (" + std::to_string(times) + " times)";
            }
        }
        if (lines.size() > kMaxReportLinesPerGroup) {
            text +=
                "\n- ... and " + std::to_string(lines.size() - kMaxReportLinesPerGroup) + " more";
        }
    }
    return text;
}

} // namespace quillory::merge
