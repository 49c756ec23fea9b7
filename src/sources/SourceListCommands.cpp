#include "sources/SourceListCommands.h"

#include "sources/PathKind.h"

#include <algorithm>
#include <cctype>

namespace quillory::sources {

namespace {

// Appends a source row and makes it the current one.
int appendSource(lists::ListModel& sources, const std::string& path, int icon) {
    const int position = sources.add(path);
    sources.setSmallIcon(position, icon);
    sources.select(position);
    return position;
}

// Shows the workbooks of the source and the worksheets of its chosen workbook; the busy pointer
// covers the worksheet listing only, which opens a workbook.
void showSource(const SourceListContext& context, const std::string& path) {
    context.listWorkbooks(path);
    context.ui.setBusy(true);
    context.listWorksheets();
}

std::string lastComponent(const std::string& path) {
    const std::string::size_type end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return path;
    }
    const std::string::size_type slash = path.find_last_of('/', end);
    const std::string::size_type start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end - start + 1);
}

std::string refusedMessage(const std::vector<std::string>& refused) {
    std::string text = "Only Excel files and folders can be added. Not added:";
    const std::size_t listed = std::min(refused.size(), kMaxRefusedNamesListed);
    for (std::size_t i = 0; i < listed; ++i) {
        text += "\n" + lastComponent(refused[i]);
    }
    if (refused.size() > listed) {
        text += "\nand " + std::to_string(refused.size() - listed) + " more";
    }
    return text;
}

} // namespace

void AddExcel(const SourceListContext& context) {
    try {
        const std::optional<std::string> file = context.dialogs.ChooseWorkbookFile(kAddExcelTitle);
        if (file) {
            lists::ListModel& sources = context.lists.sources;
            const int position = appendSource(sources, *file, lists::kIconFile);
            sources.ensureVisible(position);
            sources.refresh();
            showSource(context, *file);
        }
    } catch (...) {
        // Ends silently; what was done stays done.
    }
    context.ui.setBusy(false);
}

void AddFolder(const SourceListContext& context) {
    try {
        const std::optional<std::string> folder = context.dialogs.ChooseFolder(kAddFolderTitle);
        if (folder && !folder->empty()) {
            lists::ListModel& sources = context.lists.sources;
            const int position = appendSource(sources, *folder, lists::kIconFolder);
            context.listWorkbooks(*folder);
            sources.refresh();
            sources.ensureVisible(position);
            context.ui.setBusy(true);
            context.listWorksheets();
        }
    } catch (...) {
    }
    context.ui.setBusy(false);
}

void RemoveFile(const SourceListContext& context) {
    try {
        lists::MainLists& lists = context.lists;
        const int count = lists.sources.count();
        const int removed = lists.sources.selectedPosition();
        // With rows but none selected there is nothing to remove.
        if (count > 0 && removed > 0) {
            if (count > 1) {
                // The neighbour that becomes current is selected before the row goes, so the
                // removed row is never the current row of a view showing the list.
                lists.sources.select(removed == 1 ? 2 : removed - 1);
            }
            lists.sources.remove(removed);
            if (count - 1 > 0) {
                showSource(context, lists.sources.selectedText());
            } else {
                lists.workbooks.clear();
                lists.worksheets.clear();
            }
        }
    } catch (...) {
    }
    context.ui.setBusy(false);
}

void RemoveAllListItems(lists::MainLists& lists) {
    lists.sources.clear();
    lists.workbooks.clear();
    lists.worksheets.clear();
}

namespace {

// The selected row and its neighbour at `otherPosition` change places; only text and icon
// travel. The neighbour is the row taken out and put back, so the selected row is never removed
// and a view showing the list keeps its current row.
void swapWithNeighbour(lists::ListModel& sources, int otherPosition) {
    const int position = sources.selectedPosition();
    std::string text = sources.text(otherPosition);
    const int icon = sources.smallIcon(otherPosition);
    sources.remove(otherPosition);
    // After the removal the selected row stands at `first`; the neighbour goes on its other side.
    const int first = std::min(position, otherPosition);
    const int inserted = sources.add(std::move(text), otherPosition < position ? first + 1 : first);
    sources.setSmallIcon(inserted, icon);
    const int moved = otherPosition < position ? first : first + 1;
    sources.select(moved);
    sources.ensureVisible(moved);
}

} // namespace

void MoveSourceUp(lists::ListModel& sources) {
    const int position = sources.selectedPosition();
    if (sources.empty() || position <= 1) {
        return;
    }
    swapWithNeighbour(sources, position - 1);
}

void MoveSourceDown(lists::ListModel& sources) {
    const int position = sources.selectedPosition();
    if (sources.empty() || position == 0 || position >= sources.count()) {
        return;
    }
    swapWithNeighbour(sources, position + 1);
}

bool MatchesExcelFilePattern(const std::string& fileName) {
    // "*.xl*": ".xl" anywhere in the name, so "a.xlsx.bak" matches as well.
    std::string lower = fileName;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find(".xl") != std::string::npos;
}

DropOutcome AddDroppedPaths(const SourceListContext& context,
                            const std::vector<std::string>& paths) {
    DropOutcome outcome;
    lists::ListModel& sources = context.lists.sources;
    std::string current;
    for (const std::string& path : paths) {
        if (path.empty()) {
            continue;
        }
        const PathKind kind = GetPathKind(path);
        if (kind == PathKind::File && !MatchesExcelFilePattern(lastComponent(path))) {
            outcome.refused.push_back(path);
            continue;
        }
        const int position = appendSource(sources, path, IconForPathKind(kind));
        sources.ensureVisible(position);
        current = path;
        ++outcome.added;
    }
    if (outcome.added > 0) {
        sources.refresh();
        try {
            showSource(context, current);
        } catch (...) {
        }
        context.ui.setBusy(false);
    }
    if (!outcome.refused.empty()) {
        context.ui.showMessage(lists::MessageIcon::Information, refusedMessage(outcome.refused));
    }
    return outcome;
}

} // namespace quillory::sources
