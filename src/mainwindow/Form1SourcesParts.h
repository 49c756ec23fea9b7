#pragma once
// What the source-list commands and the Settings and About commands add to Form1: extra
// dependencies (injected by tests) and state kept for the window's lifetime. Owned by those
// commands; Form1 only holds one of each.

namespace quillory::mainwindow {

struct Form1SourcesDependencies {};

struct Form1SourcesState {};

} // namespace quillory::mainwindow
