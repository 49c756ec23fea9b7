#include "browsing/WorksheetListing.h"

#include "browsing/BusyPointer.h"
#include "browsing/WorkbookListing.h"
#include "browsing/WorksheetReading.h"

namespace quillory::browsing {

void ListWorksheets(lists::MainLists& lists, lists::UiPort& ui,
                    const spreadsheet::ApplicationFactory& createApplication) {
    lists::ListModel& worksheets = lists.worksheets;
    worksheets.clear();
    worksheets.refresh();
    const std::string path = ChosenWorkbookPath(lists);
    if (path.empty()) {
        return;
    }
    const auto failure =
        ReadWorksheetNames(createApplication, path, [&worksheets](const std::string& name) {
            worksheets.setChecked(worksheets.add(name), true);
        });
    if (failure) {
        ReportOpenFailure(ui, *failure);
    }
    worksheets.refresh();
}

void WorkbookListItemClick(lists::MainLists& lists, lists::UiPort& ui,
                           const spreadsheet::ApplicationFactory& createApplication) {
    BusyPointer busy(ui);
    ListWorksheets(lists, ui, createApplication);
}

} // namespace quillory::browsing
