#pragma once
// The About dialog: product name and version, the support e-mail and web addresses as links, a
// notice line and a legal notice. A link hands its address to the desktop and the dialog stays
// open; OK and the close box close it.

#include <QDialog>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QUrl;

namespace quillory::dialogs {

class LinkLabel;

inline constexpr const char* kAboutCaption = "About us";
inline constexpr const char* kSupportAddress = "support@quillory.example";
inline constexpr const char* kNoticeLine = "Made by the Quillory developers.";
inline constexpr const char* kLegalNotice =
    "Warning: this program is protected by copyright law. Unauthorised reproduction or "
    "distribution of this program, or of any part of it, is unlawful and will be prosecuted.\n";

class Dialog1 : public QDialog {
    Q_OBJECT

public:
    // Hands an address to the desktop (mail program, browser); the answer is not looked at.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // A null opener uses QDesktopServices.
    explicit Dialog1(UrlOpener openUrl = {}, QWidget* parent = nullptr);

    QLabel* Label1() const { return label1_; }
    QLabel* Label4() const { return label4_; }
    QLabel* Label2() const;
    QLabel* Label8() const;
    QPushButton* OKButton() const { return okButton_; }

    // The address shown by Label8, with its scheme.
    static QString HomePageAddress();

private slots:
    void Label2_Click();
    void Label8_Click();
    void OKButton_Click();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    UrlOpener openUrl_;
    QLabel* label1_;
    QLabel* label4_;
    QFrame* frame_;
    LinkLabel* label2_;
    LinkLabel* label8_;
    QPushButton* okButton_;
};

} // namespace quillory::dialogs
