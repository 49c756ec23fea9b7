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

void WidenToFitText(QWidget& control, int marginPixels) {
    const int needed = control.sizeHint().width();
    if (needed > control.width()) {
        control.resize(needed, control.height());
    }
    QWidget* inner = &control;
    for (QWidget* outer = control.parentWidget(); outer != nullptr;
         inner = outer, outer = outer->parentWidget()) {
        const int wanted = inner->geometry().right() + 1 + marginPixels;
        if (wanted > outer->width()) {
            if (outer->isWindow()) {
                outer->setFixedWidth(wanted);
            } else {
                outer->resize(wanted, outer->height());
            }
        }
        if (outer->isWindow()) {
            break;
        }
    }
}

} // namespace quillory::dialogs
