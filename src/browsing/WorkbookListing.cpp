#include "browsing/WorkbookListing.h"

#include "browsing/BusyPointer.h"
#include "browsing/WorksheetListing.h"
#include "sources/PathKind.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <system_error>

namespace quillory::browsing {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Case does not count first; names that differ only in case keep a fixed order.
bool NameOrder(const std::string& left, const std::string& right) {
    const std::string l = Lower(left);
    const std::string r = Lower(right);
    return l != r ? l < r : left < right;
}

std::string SelectedTextOrEmpty(const lists::ListModel& list) {
    if (list.empty() || !list.hasSelection()) {
        return {};
    }
    return list.selectedText();
}

// The path of workbook `name` of `source`, or "" when the source is neither a file nor a folder
// or the result is no existing file. A folder path gets one separator whether or not it ends in
// one, so "/data" and "/data/" give the same path.
std::string WorkbookPathFor(const std::string& source, const std::string& name) {
    switch (sources::GetPathKind(source)) {
    case sources::PathKind::File:
        return source;
    case sources::PathKind::Folder: {
        std::string candidate = source;
        if (candidate.back() != '/') {
            candidate += '/';
        }
        candidate += name;
        return sources::GetPathKind(candidate) == sources::PathKind::File ? candidate
                                                                          : std::string();
    }
    case sources::PathKind::Missing:
        break;
    }
    return {};
}

} // namespace

bool IsListedWorkbookName(const std::string& name) {
    if (sources::IsHiddenName(name)) {
        return false;
    }
    const std::string extension = Lower(std::filesystem::path(name).extension().string());
    return std::any_of(std::begin(kWorkbookExtensions), std::end(kWorkbookExtensions),
                       [&extension](const char* listed) { return extension == listed; });
}

std::vector<std::string> WorkbookFilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code statusError;
        if (IsListedWorkbookName(name) && it->is_regular_file(statusError)) {
            names.push_back(name);
        }
    }
    // What could be read is listed; a folder that went away half-way is not a failure.
    std::sort(names.begin(), names.end(), NameOrder);
    return names;
}

void ListWorkbooks(lists::MainLists& lists, const std::string& path) {
    lists::ListModel& workbooks = lists.workbooks;
    try {
        workbooks.clear();
        if (sources::GetPathKind(path) == sources::PathKind::File) {
            const int row = workbooks.add(std::filesystem::path(path).filename().string());
            workbooks.setChecked(row, true);
        } else if (!path.empty()) {
            for (const std::string& name : WorkbookFilesIn(path)) {
                const int row = workbooks.add(name);
                workbooks.setChecked(row, true);
            }
        }
    } catch (const std::exception&) {
        // Listing stops here; the rows so far stay, and nothing is reported.
    }
    workbooks.refresh();
}

std::string ChosenWorkbookPath(const lists::MainLists& lists) {
    return WorkbookPathFor(SelectedTextOrEmpty(lists.sources),
                           SelectedTextOrEmpty(lists.workbooks));
}

std::string WorkbookPathAt(const lists::MainLists& lists, int position) {
    const std::string name = position >= 1 && position <= lists.workbooks.count()
                                 ? lists.workbooks.text(position)
                                 : std::string();
    return WorkbookPathFor(SelectedTextOrEmpty(lists.sources), name);
}

void SourceListItemClick(lists::MainLists& lists, lists::UiPort& ui,
                         const spreadsheet::ApplicationFactory& createApplication) {
    if (lists.sources.empty() || !lists.sources.hasSelection()) {
        return;
    }
    const std::string source = lists.sources.selectedText();
    lists.workbooks.clear();
    lists.worksheets.clear();
    BusyPointer busy(ui);
    ListWorkbooks(lists, source);
    ListWorksheets(lists, ui, createApplication);
}

} // namespace quillory::browsing
