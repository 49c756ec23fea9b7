// A folder mixing a legacy .xls workbook and an .xlsx one, end to end in the real window on the
// offscreen platform: the .xls is written by Gnumeric's converter from a libxlsxwriter workbook,
// listed natively, converted by LibreOffice at merge time, and the result read back with the
// engine and with python3-openpyxl.

#include "WindowTestSupport.h"
#include "support/ListContents.h"
#include "support/RecordingUiPort.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QAction>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <memory>

using quillory::testing::ClickRow;
using quillory::testing::EngineWorksheets;
using quillory::testing::MergeEntries;
using quillory::testing::RecordingUiPort;
using quillory::testing::RowTexts;
using quillory::testing::TempDir;
using Strings = std::vector<std::string>;

namespace {

constexpr int kConverterTimeoutMs = 120000;

} // namespace

class LegacyFolderTest : public QObject {
    Q_OBJECT

private slots:
    void folderOfXlsAndXlsxBrowsedAndMerged();
};

void LegacyFolderTest::folderOfXlsAndXlsxBrowsedAndMerged() {
    const QString ssconvert = QStandardPaths::findExecutable("ssconvert");
    if (ssconvert.isEmpty()) {
        QSKIP("Gnumeric's ssconvert is not installed: no .xls fixture can be written");
    }
    if (QStandardPaths::findExecutable("soffice").isEmpty()) {
        QSKIP("LibreOffice (soffice) is not installed: a .xls source cannot be converted");
    }
    TempDir dir;
    const std::filesystem::path books = dir.path() / "books";
    const std::filesystem::path originals = dir.path() / "originals";
    std::filesystem::create_directories(books);
    std::filesystem::create_directories(originals);

    // The .xls sheets out of name order, one name beyond ASCII: listing must keep both as written.
    const std::vector<std::string> legacySheets = {"Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"};
    std::vector<quillory::testing::SheetContent> ledger;
    for (const auto& sheet : legacySheets) {
        ledger.push_back({sheet, 6});
    }
    if (!quillory::testing::WriteWorkbook(originals / "ledger.xlsx", ledger)) {
        QSKIP("libxlsxwriter is not installed: no fixture workbooks can be written");
    }
    quillory::testing::WriteWorkbook(books / "annual.xlsx", {{"Totals", 3}});
    QProcess convert;
    convert.start(ssconvert, {QString::fromStdString((originals / "ledger.xlsx").string()),
                              QString::fromStdString((books / "ledger.xls").string())});
    QVERIFY(convert.waitForFinished(kConverterTimeoutMs));
    QVERIFY2(convert.exitCode() == 0 && std::filesystem::exists(books / "ledger.xls"),
             convert.readAllStandardError().constData());
    dir.write("program/EXCEL.txt", books.string() + "\n");

    RecordingUiPort ui;
    auto form = quillory::testing::StartEngineWindow(dir.path(), ui);
    auto& lists = form->lists();

    ClickRow(form->ListView1(), 1);
    QCOMPARE(RowTexts(lists.workbooks), (Strings{"annual.xlsx", "ledger.xls"}));
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"Totals"}));

    ClickRow(form->ListView2(), 2);
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(RowTexts(lists.worksheets), (Strings{"Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"}));
    // Listing is native: no conversion has left anything in the temporary folder.
    QVERIFY(std::filesystem::is_empty(dir.path() / "tmp"));

    QTest::mouseClick(form->command(20), Qt::LeftButton); // Add All Excel Files
    QVERIFY2(ui.messages.empty(), ui.messages.empty() ? "" : ui.messages.front().text.c_str());
    QCOMPARE(MergeEntries(lists.merge), (Strings{"annual.xlsx|Totals", "ledger.xls|Zahlen \xC3\xA4",
                                                 "ledger.xls|Archiv", "ledger.xls|M\xC3\xA4rz 2"}));

    std::vector<std::filesystem::path> heldAtOpen;
    ui.onOpenFile = [&](const std::filesystem::path& file) {
        // Copied at once: the result belongs to the opener from here on.
        const auto copy = dir.path() / "result-copy.xlsx";
        std::filesystem::copy_file(file, copy);
        heldAtOpen.push_back(copy);
    };
    // The converter works in the system's temporary folder: here, one the test can look into.
    const std::filesystem::path systemTemporary = dir.path() / "system-tmp";
    std::filesystem::create_directories(systemTemporary);
    {
        quillory::testing::ScopedEnv temporary("TMPDIR", systemTemporary.c_str());
        form->menuEntry("Merge")->trigger();
        form.reset();
    }
    std::string leftBehind;
    for (const auto& entry : std::filesystem::directory_iterator(systemTemporary)) {
        leftBehind += entry.path().filename().string() + " ";
    }
    QVERIFY2(leftBehind.empty(), ("left in the temporary folder: " + leftBehind).c_str());

    QCOMPARE(ui.openedFiles.size(), std::size_t{1});
    QCOMPARE(heldAtOpen.size(), std::size_t{1});
    for (const auto& message : ui.messages) {
        QVERIFY2(message.icon != quillory::lists::MessageIcon::Critical, message.text.c_str());
    }
    const std::filesystem::path result = heldAtOpen.front();
    QCOMPARE(EngineWorksheets(result),
             (Strings{"Totals", "Zahlen \xC3\xA4", "Archiv", "M\xC3\xA4rz 2"}));

    std::vector<quillory::testing::SheetSource> expected{
        {"Totals", books / "annual.xlsx", "Totals"}};
    for (const auto& sheet : legacySheets) {
        expected.push_back({sheet, originals / "ledger.xlsx", sheet});
    }
    const auto check = quillory::testing::CompareWithOpenpyxl(result, expected);
    if (!check.available) {
        QSKIP(check.output.constData());
    }
    QVERIFY2(check.passed, check.output.constData());
}

QTEST_MAIN(LegacyFolderTest)
#include "LegacyFolder_test.moc"
