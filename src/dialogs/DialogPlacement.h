#pragma once
// The Settings and About dialogs open at one fixed place on the screen, not centred on the main
// window, with a fixed size and a dialog frame without minimize or maximize buttons.

#include <QDialog>

namespace quillory::dialogs {

// Where the top-left corner of the client area lies, in twips from the screen's corner.
inline constexpr int kDialogLeftTwips = 2760;
inline constexpr int kDialogTopTwips = 3750;

// Gives `dialog` its fixed client size (in twips), the fixed place and the dialog frame.
void PlaceFixedDialog(QDialog& dialog, int widthTwips, int heightTwips);

} // namespace quillory::dialogs
