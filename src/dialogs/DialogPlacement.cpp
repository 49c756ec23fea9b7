#include "dialogs/DialogPlacement.h"

#include "mainwindow/Twips.h"

namespace quillory::dialogs {

using mainwindow::TwipsToPixels;

void PlaceFixedDialog(QDialog& dialog, int widthTwips, int heightTwips) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setSizeGripEnabled(false);
    dialog.setFixedSize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
    // Moving it before it is shown also keeps Qt from centring it on its parent.
    dialog.setGeometry(TwipsToPixels(kDialogLeftTwips), TwipsToPixels(kDialogTopTwips),
                       TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
}

} // namespace quillory::dialogs
