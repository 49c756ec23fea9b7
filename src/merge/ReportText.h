#pragma once
// The merge report as one short message for the user: grouped by kind, each group cut to a few
// lines so the message stays readable whatever the report holds.

#include "spreadsheet/MergeReport.h"

#include <cstddef>
#include <string>

namespace quillory::merge {

// Lines shown per kind of report item before "... and N more".
inline constexpr std::size_t kMaxReportLinesPerGroup = 6;

// One item as a line of its own: its sentence, led by the merge entry it belongs to.
std::string DescribeReportItem(const spreadsheet::ReportItem& item);

// "" for an empty report.
std::string DescribeMergeReport(const spreadsheet::MergeReport& report);

} // namespace quillory::merge
