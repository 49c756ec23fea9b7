#pragma once
// The merge report as the user reads it: grouped by workbook, then by kind, one line per distinct
// reason naming the sheets it concerns. The window shows a short message with counts and the
// grouped list behind it; the command line prints the grouped list.

#include "spreadsheet/MergeReport.h"

#include <cstddef>
#include <string>

namespace quillory::merge {

// Lines of the short message at most: a heading, one line per kind that differs, a closing hint.
inline constexpr std::size_t kMaxReportMessageLines = 6;

// Every note, by workbook: what was not carried over, what was kept as values, what may look
// different, what was renamed, and one line for what was adjusted to look the same. "" for an
// empty report.
std::string ReportDetails(const spreadsheet::MergeReport& report);

// A few lines with counts per kind. "" when nothing in the result differs from its sources (an
// empty report, or one that only says what was adjusted to look the same).
std::string ReportMessage(const spreadsheet::MergeReport& report);

} // namespace quillory::merge
