#pragma once
// The Settings dialog: one check box that says whether the source list is saved when the main
// window closes. Reads set.txt when it is made; OK writes it, Cancel and the close box do not.

#include <QDialog>
#include <filesystem>

class QCheckBox;
class QPushButton;

namespace quillory::dialogs {

inline constexpr const char* kSettingsCaption = "Setting";
inline constexpr const char* kAutoSaveCaption = "Automatically save the current list .";

class Dialog2 : public QDialog {
    Q_OBJECT

public:
    explicit Dialog2(std::filesystem::path settingsFile, QWidget* parent = nullptr);

    QCheckBox* Check1() const { return check1_; }
    QPushButton* OKButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

private slots:
    // Writes "1" or "0" and CR LF. When the file cannot be written the user is told why and the
    // dialog stays open, so the choice is not lost without notice.
    void OKButton_Click();
    void CancelButton_Click();

private:
    void Form_Load();

    std::filesystem::path settingsFile_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QCheckBox* check1_;
};

} // namespace quillory::dialogs
