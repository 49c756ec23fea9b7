#pragma once
// The worksheet list: the worksheet names of the chosen workbook.

#include "lists/MainLists.h"
#include "lists/UiPort.h"
#include "spreadsheet/Automation.h"

namespace quillory::browsing {

// Refills the worksheet list with the worksheets of ChosenWorkbookPath, in tab order, all
// checked. No workbook chosen: an empty list and no message. A workbook that cannot be read:
// its failure description, then "Open excel file failed!"; rows listed before stay.
void ListWorksheets(lists::MainLists& lists, lists::UiPort& ui,
                    const spreadsheet::ApplicationFactory& createApplication);

// ListView2 ItemClick: lists the worksheets of the clicked workbook under the busy pointer.
void WorkbookListItemClick(lists::MainLists& lists, lists::UiPort& ui,
                           const spreadsheet::ApplicationFactory& createApplication);

} // namespace quillory::browsing
