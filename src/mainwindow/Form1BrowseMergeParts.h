#pragma once
// What the browsing, merge-list and merge commands add to Form1: extra dependencies (injected by
// tests) and state kept for the window's lifetime. Owned by those commands; Form1 only holds one
// of each.

namespace quillory::mainwindow {

struct Form1BrowseMergeDependencies {};

struct Form1BrowseMergeState {};

} // namespace quillory::mainwindow
