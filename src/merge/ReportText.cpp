#include "merge/ReportText.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>
#include <vector>

namespace quillory::merge {

namespace {

using spreadsheet::MergeReport;
using spreadsheet::ReportItem;
using spreadsheet::ReportKind;

// The kinds as the user reads them, in the order shown; Adjusted is one summary line.
enum class Section { NotCarried, KeptAsValues, MayLookDifferent, Renamed, Adjusted };
constexpr std::size_t kSectionCount = 5;
constexpr std::array<const char*, kSectionCount> kSectionTitles = {
    "Not carried over", "Kept as values", "May look different", "Renamed",
    "Adjusted to look the same"};
constexpr const char* kNoWorkbook = "The merged workbook";

Section SectionOf(ReportKind kind) {
    switch (kind) {
    case ReportKind::PartNotCarried:
        return Section::NotCarried;
    case ReportKind::FormulaAsValue:
        return Section::KeptAsValues;
    case ReportKind::MayLookDifferent:
    case ReportKind::Converted:
        return Section::MayLookDifferent;
    case ReportKind::SheetRenamed:
    case ReportKind::NameChanged:
        return Section::Renamed;
    case ReportKind::Adjusted:
        return Section::Adjusted;
    }
    return Section::MayLookDifferent;
}

// One distinct sentence and the sheets it was said of, in the order met.
struct Reason {
    std::string message;
    std::vector<std::string> sheets;
};

struct WorkbookNotes {
    std::string file;
    std::array<std::vector<Reason>, kSectionCount> sections;
    std::vector<std::pair<std::string, std::string>> renamedSheets; // source name, copy's name
};

void AddOnce(std::vector<std::string>& list, const std::string& value) {
    if (!value.empty() && std::find(list.begin(), list.end(), value) == list.end()) {
        list.push_back(value);
    }
}

// Workbooks in the order the report first names them.
std::vector<WorkbookNotes> Group(const MergeReport& report) {
    std::vector<WorkbookNotes> books;
    for (const ReportItem& item : report.items) {
        auto book = std::find_if(books.begin(), books.end(),
                                 [&](const WorkbookNotes& b) { return b.file == item.sourceFile; });
        if (book == books.end()) {
            books.push_back({item.sourceFile, {}, {}});
            book = books.end() - 1;
        }
        if (item.kind == ReportKind::SheetRenamed && !item.sourceSheet.empty() &&
            !item.resultSheet.empty()) {
            const std::pair<std::string, std::string> rename{item.sourceSheet, item.resultSheet};
            if (std::find(book->renamedSheets.begin(), book->renamedSheets.end(), rename) ==
                book->renamedSheets.end()) {
                book->renamedSheets.push_back(rename);
            }
            continue;
        }
        auto& reasons = book->sections[static_cast<std::size_t>(SectionOf(item.kind))];
        auto reason = std::find_if(reasons.begin(), reasons.end(),
                                   [&](const Reason& r) { return r.message == item.message; });
        if (reason == reasons.end()) {
            reasons.push_back({item.message, {}});
            reason = reasons.end() - 1;
        }
        AddOnce(reason->sheets, item.sourceSheet.empty() ? item.resultSheet : item.sourceSheet);
    }
    return books;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "Sales, Costs renamed to Sales (2), Costs (2), ..." for all renamed sheets of one workbook.
std::string RenameLine(const std::vector<std::pair<std::string, std::string>>& renamed) {
    std::vector<std::string> from;
    std::vector<std::string> to;
    for (const auto& [source, copy] : renamed) {
        from.push_back(source);
        to.push_back(copy);
    }
    return Joined(from, ", ") + " renamed to " + Joined(to, ", ") +
           (renamed.size() == 1 ? ", as the result already had a sheet of that name."
                                : ", as the result already had sheets of those names.");
}

std::string ReasonLine(const Reason& reason) {
    return reason.sheets.empty() ? reason.message
                                 : Joined(reason.sheets, ", ") + ": " + reason.message;
}

// The one line that says what was adjusted, with every sheet it concerns.
std::string AdjustedLine(const std::vector<Reason>& reasons) {
    std::vector<std::string> sheets;
    std::vector<std::string> messages;
    for (const Reason& reason : reasons) {
        messages.push_back(reason.message);
        for (const auto& sheet : reason.sheets) {
            AddOnce(sheets, sheet);
        }
    }
    std::string line = kSectionTitles[static_cast<std::size_t>(Section::Adjusted)];
    if (!sheets.empty()) {
        line += " (" + Joined(sheets, ", ") + ")";
    }
    return line + ": " + Joined(messages, " ");
}

// Lines of one kind of one workbook, the renames of sheets first among the renames.
std::vector<std::string> SectionLines(const WorkbookNotes& book, Section section) {
    std::vector<std::string> lines;
    if (section == Section::Renamed && !book.renamedSheets.empty()) {
        lines.push_back(RenameLine(book.renamedSheets));
    }
    for (const Reason& reason : book.sections[static_cast<std::size_t>(section)]) {
        lines.push_back(ReasonLine(reason));
    }
    return lines;
}

} // namespace

std::string ReportDetails(const MergeReport& report) {
    std::string text;
    for (const WorkbookNotes& book : Group(report)) {
        text += (text.empty() ? "" : "\n\n") + (book.file.empty() ? kNoWorkbook : book.file);
        for (const Section section : {Section::NotCarried, Section::KeptAsValues,
                                      Section::MayLookDifferent, Section::Renamed}) {
            const std::vector<std::string> lines = SectionLines(book, section);
            if (lines.empty()) {
                continue;
            }
            text += "\n  " + std::string(kSectionTitles[static_cast<std::size_t>(section)]) + ":";
            for (const auto& line : lines) {
                text += "\n  - " + line;
            }
        }
        if (const auto& adjusted = book.sections[static_cast<std::size_t>(Section::Adjusted)];
            !adjusted.empty()) {
            text += "\n  " + AdjustedLine(adjusted);
        }
    }
    return text.empty() ? text : text + "\n";
}

std::string ReportMessage(const MergeReport& report) {
    const std::vector<WorkbookNotes> books = Group(report);
    std::string text;
    for (const Section section : {Section::NotCarried, Section::KeptAsValues,
                                  Section::MayLookDifferent, Section::Renamed}) {
        std::size_t notes = 0;
        std::size_t sheetsRenamed = 0;
        std::size_t workbooks = 0;
        for (const WorkbookNotes& book : books) {
            const std::size_t own = book.sections[static_cast<std::size_t>(section)].size();
            const std::size_t renamed = section == Section::Renamed ? book.renamedSheets.size() : 0;
            notes += own;
            sheetsRenamed += renamed;
            workbooks += own + renamed > 0 ? 1 : 0;
        }
        if (workbooks == 0) {
            continue;
        }
        std::vector<std::string> counts;
        if (sheetsRenamed > 0) {
            counts.push_back(Counted(sheetsRenamed, "sheet", "sheets"));
        }
        if (notes > 0) {
            counts.push_back(section == Section::Renamed
                                 ? Counted(notes, "table or name", "tables or names")
                                 : Counted(notes, "note", "notes"));
        }
        text += "\n- " + std::string(kSectionTitles[static_cast<std::size_t>(section)]) + ": " +
                Joined(counts, " and ") + ", in " + Counted(workbooks, "workbook", "workbooks");
    }
    if (text.empty()) {
        return text;
    }
    return "The merged workbook differs from its sources:" + text +
           "\nShow Details... lists every note, by workbook.";
}

} // namespace quillory::merge
