#pragma once
// The maker's addresses, shared by the HomePage command and the About dialog.

namespace quillory::mainwindow {

inline constexpr const char* kHomePageAddress = "https://quillory.example";

} // namespace quillory::mainwindow
