#include "dialogs/Dialog1.h"

#include "Version.h"
#include "dialogs/DialogPlacement.h"
#include "dialogs/LinkLabel.h"
#include "mainwindow/HomePage.h"
#include "mainwindow/Pictures.h"
#include "mainwindow/Twips.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

namespace quillory::dialogs {

namespace {

constexpr int kClientWidthTwips = 4905;
constexpr int kClientHeightTwips = 3945;
constexpr int kIconPixels = 32;

template <typename W> W* placeTwips(W* widget, int left, int top, int width, int height) {
    using mainwindow::TwipsToPixels;
    widget->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                        TwipsToPixels(height));
    widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* created = new QLabel(text, parent);
    created->setObjectName(QString::fromLatin1(name));
    created->setTextFormat(Qt::PlainText);
    return created;
}

// The home page address without its scheme, as Label8 shows it.
QString withoutScheme(const QString& address) {
    const qsizetype schemeEnd = address.indexOf(QStringLiteral("://"));
    return schemeEnd < 0 ? address : address.mid(schemeEnd + 3);
}

} // namespace

Dialog1::Dialog1(UrlOpener openUrl, QWidget* parent)
    : QDialog(parent), openUrl_(std::move(openUrl)) {
    if (!openUrl_) {
        openUrl_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }
    setObjectName(QStringLiteral("Dialog1"));
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setWindowIcon(mainwindow::LoadPicture(mainwindow::Picture::ProgramIcon));
    PlaceFixedDialog(*this, kClientWidthTwips, kClientHeightTwips);

    // Made in tab order: only OK takes the focus, the rest keep the order for readers.
    frame_ = placeTwips(new QFrame(this), 120, 720, 4450, 1090);
    frame_->setFrameShape(QFrame::Box);
    frame_->setFrameShadow(QFrame::Sunken);
    label8_ =
        placeTwips(new LinkLabel(withoutScheme(HomePageAddress()), frame_), 1800, 480, 1930, 250);
    label8_->setObjectName(QStringLiteral("Label8"));
    placeTwips(label(QStringLiteral("Website:"), "Label7", frame_), 120, 480, 850, 250);
    placeTwips(label(QString::fromUtf8(kNoticeLine), "Label6", frame_), 120, 720, 3135, 255);
    placeTwips(label(QStringLiteral("Technical Support:"), "Label3", frame_), 120, 240, 1690, 250);
    label2_ = placeTwips(new LinkLabel(QString::fromLatin1(kSupportAddress), frame_), 1800, 240,
                         2290, 250);
    label2_->setObjectName(QStringLiteral("Label2"));
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setGeometry(mainwindow::TwipsToPixels(120), mainwindow::TwipsToPixels(3360),
                           mainwindow::TwipsToPixels(1215), mainwindow::TwipsToPixels(375));
    okButton_->setDefault(true);
    auto* legal =
        placeTwips(label(QString::fromUtf8(kLegalNotice), "Label5", this), 120, 2040, 4695, 1095);
    legal->setWordWrap(true);
    legal->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label4_ = placeTwips(
        label(QStringLiteral("Version:%1").arg(QString::fromLatin1(kVersion)), "Label4", this), 720,
        360, 1455, 255);
    label1_ = placeTwips(label(QStringLiteral("Quillory"), "Label1", this), 720, 120, 2055, 255);

    // One-line texts may run past their places with a wider font than they were measured for.
    for (QLabel* single : findChildren<QLabel*>()) {
        if (!single->wordWrap()) {
            WidenToFitText(*single, mainwindow::TwipsToPixels(120));
        }
    }

    connect(label2_, &LinkLabel::clicked, this, &Dialog1::Label2_Click);
    connect(label8_, &LinkLabel::clicked, this, &Dialog1::Label8_Click);
    connect(okButton_, &QPushButton::clicked, this, &Dialog1::OKButton_Click);
    okButton_->setFocus();
}

QLabel* Dialog1::Label2() const {
    return label2_;
}
QLabel* Dialog1::Label8() const {
    return label8_;
}

QString Dialog1::HomePageAddress() {
    return QString::fromLatin1(mainwindow::kHomePageAddress);
}

void Dialog1::Label2_Click() {
    openUrl_(QUrl(QStringLiteral("mailto:") + label2_->text()));
}

void Dialog1::Label8_Click() {
    openUrl_(QUrl(HomePageAddress()));
}

void Dialog1::OKButton_Click() {
    accept();
}

void Dialog1::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The program icon as the dialog's background picture, in its top-left corner.
    QPainter painter(this);
    windowIcon().paint(&painter, QRect(0, 0, kIconPixels, kIconPixels));
}

} // namespace quillory::dialogs
