#pragma once
// Open file handles. A merge keeps every source package open until the result is written (a
// source deleted meanwhile still copies), so a merge of many workbooks needs as many handles;
// the usual default limit of a process (1,024) is far below what the system allows it.

#include <functional>
#include <string>

namespace quillory::spreadsheet::ooxml {

// Runs `open` (true when it opened the file, false with errno set when not). When the process
// has no file handle left, raises its limit on open files to the most it may have and runs
// `open` once more; still without a handle, throws a SpreadsheetError naming the file and the
// reason. Other failures return false for the caller to describe.
bool OpenRaisingFileLimit(const std::function<bool()>& open, const std::string& displayName);

} // namespace quillory::spreadsheet::ooxml
