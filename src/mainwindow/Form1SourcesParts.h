#pragma once
// What the source-list commands and the Settings and About commands add to Form1: extra
// dependencies (injected by tests) and state kept for the window's lifetime. Owned by those
// commands; Form1 only holds one of each.

namespace quillory::commondialogs {
class DialogBackend;
}

namespace quillory::mainwindow {

struct Form1SourcesDependencies {
    // The dialogs behind Add Excel and Add Folder; null: the desktop's dialogs.
    commondialogs::DialogBackend* dialogBackend = nullptr;
};

struct Form1SourcesState {};

} // namespace quillory::mainwindow
