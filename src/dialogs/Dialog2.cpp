#include "dialogs/Dialog2.h"

#include "dialogs/DialogPlacement.h"
#include "mainwindow/Pictures.h"
#include "mainwindow/Twips.h"
#include "sources/SettingsFile.h"
#include "sources/TextFile.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

using quillory::mainwindow::TwipsToPixels;

namespace quillory::dialogs {

namespace {

constexpr int kClientWidthTwips = 3795;
constexpr int kClientHeightTwips = 1485;

void placeTwips(QWidget& widget, int left, int top, int width, int height) {
    using mainwindow::TwipsToPixels;
    widget.setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                       TwipsToPixels(height));
}

} // namespace

Dialog2::Dialog2(std::filesystem::path settingsFile, QWidget* parent)
    : QDialog(parent), settingsFile_(std::move(settingsFile)),
      okButton_(new QPushButton(QStringLiteral("OK"), this)),
      cancelButton_(new QPushButton(QStringLiteral("Cancel"), this)),
      check1_(new QCheckBox(QString::fromLatin1(kAutoSaveCaption), this)) {
    setObjectName(QStringLiteral("Dialog2"));
    setWindowTitle(QString::fromLatin1(kSettingsCaption));
    setWindowIcon(mainwindow::LoadPicture(mainwindow::Picture::ProgramIcon));
    PlaceFixedDialog(*this, kClientWidthTwips, kClientHeightTwips);

    okButton_->setObjectName(QStringLiteral("OKButton"));
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    check1_->setObjectName(QStringLiteral("Check1"));
    placeTwips(*okButton_, 360, 960, 1215, 375);
    placeTwips(*cancelButton_, 2040, 960, 1215, 375);
    placeTwips(*check1_, 360, 360, 3010, 370);
    WidenToFitText(*check1_, TwipsToPixels(360));
    okButton_->setDefault(true);
    setTabOrder(okButton_, cancelButton_);
    setTabOrder(cancelButton_, check1_);

    connect(okButton_, &QPushButton::clicked, this, &Dialog2::OKButton_Click);
    connect(cancelButton_, &QPushButton::clicked, this, &Dialog2::CancelButton_Click);
    Form_Load();
}

void Dialog2::Form_Load() {
    // Ticked only for a first line of exactly "1"; a missing, empty or unreadable file leaves
    // the box cleared as it starts.
    check1_->setChecked(sources::ReadAutoSaveBox(settingsFile_));
}

void Dialog2::OKButton_Click() {
    try {
        sources::WriteAutoSave(settingsFile_, check1_->isChecked());
    } catch (const std::exception& failure) {
        QMessageBox::critical(this, QStringLiteral("Quillory"),
                              QStringLiteral("The setting could not be saved.\n\n%1")
                                  .arg(QString::fromUtf8(failure.what())));
        return;
    }
    accept();
}

void Dialog2::CancelButton_Click() {
    reject();
}

} // namespace quillory::dialogs
