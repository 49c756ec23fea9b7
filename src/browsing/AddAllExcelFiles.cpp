#include "browsing/AddAllExcelFiles.h"

#include "browsing/BusyPointer.h"
#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetReading.h"
#include "sources/PathKind.h"

namespace quillory::browsing {

void AddWorkbookSheets(lists::MainLists& lists, lists::UiPort& ui,
                       const spreadsheet::ApplicationFactory& createApplication,
                       const std::string& path) {
    lists::ListModel& merge = lists.merge;
    int last = 0;
    const auto failure = ReadWorksheetNames(createApplication, path, [&](const std::string& name) {
        last = merge.add(path);
        merge.setChecked(last, true);
        merge.setSubItem1(last, name);
        merge.refresh();
    });
    if (last != 0) {
        merge.ensureVisible(last);
    }
    if (failure) {
        ReportOpenFailure(ui, *failure);
    }
}

void AddAllExcelFiles(lists::MainLists& lists, lists::UiPort& ui,
                      const spreadsheet::ApplicationFactory& createApplication) {
    const std::string source =
        lists.sources.hasSelection() ? lists.sources.selectedText() : std::string();
    const int workbookCount = lists.workbooks.count();
    BusyPointer busy(ui);
    switch (sources::GetPathKind(source)) {
    case sources::PathKind::File:
        AddWorkbookSheets(lists, ui, createApplication, source);
        break;
    case sources::PathKind::Folder:
        for (int i = 1; i <= workbookCount && i <= lists.workbooks.count(); ++i) {
            const std::string path = WorkbookPathAt(lists, i);
            if (!path.empty() && lists.workbooks.checked(i)) {
                AddWorkbookSheets(lists, ui, createApplication, path);
            }
        }
        break;
    case sources::PathKind::Missing:
        break;
    }
}

} // namespace quillory::browsing
