#pragma once
// What the browsing, merge-list and merge commands add to Form1: extra dependencies (injected by
// tests) and state kept for the window's lifetime. Owned by those commands; Form1 only holds one
// of each.

#include "merge/MergeCommand.h"

namespace quillory::mainwindow {

struct Form1BrowseMergeDependencies {
    // Where merge results go and the time they are named after; empty: the user's temporary
    // location and now.
    merge::MergeCommandOptions merge;
};

struct Form1BrowseMergeState {
    // A merge runs; the window repaints meanwhile but starts no other merge.
    bool merging = false;
    // The window was asked to close during a merge: it closes once the merge is over.
    bool closeAfterMerge = false;
};

} // namespace quillory::mainwindow
