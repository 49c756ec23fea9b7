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

// Widens a control whose text does not fit its place with this platform's font, and the frames
// and the dialog around it as far as needed, keeping `marginPixels` on the right. The places
// were measured for a narrower font; a cut-off text would hide what the control says.
void WidenToFitText(QWidget& control, int marginPixels);

} // namespace quillory::dialogs
