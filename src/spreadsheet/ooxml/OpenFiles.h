#pragma once
// Open file handles. A merge keeps every source package open until the result is written (a
// source deleted meanwhile still copies), so a merge of many workbooks needs as many handles;
// the usual default limit of a process (1,024) is far below what the system allows it.

#include <string>

namespace quillory::spreadsheet::ooxml {

// True when errno says the process (or the system) has no file handle left.
bool OutOfFileHandles(int error);

// Raises this process's limit on open files to the most it may have. False when it was already
// there, so that opening again would fail the same way.
bool RaiseOpenFileLimit();

// "'Q3.xlsx' cannot be opened: too many files are open at once ..." for a source that failed to
// open for want of a handle.
std::string OutOfFileHandlesDescription(const std::string& displayName);

} // namespace quillory::spreadsheet::ooxml
