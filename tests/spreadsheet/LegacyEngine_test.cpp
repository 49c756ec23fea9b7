// Legacy sources through the engine's automation interface: an .xls is listed without any
// conversion; copying its worksheet (and one of an .ods) converts each source once, and the copy
// holds the source's cells, read back from the .xls by xlrd and from the result by openpyxl.

#include "spreadsheet/Automation.h"
#include "spreadsheet/LegacyTestFiles.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <gtest/gtest.h>

#if QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::spreadsheet {
namespace {

namespace fs = std::filesystem;
using quillory::testing::readFile;
using quillory::testing::TempDir;
using namespace quillory::testing::legacy;

// Points the engine's temporary files at a folder of the test's own while it lives.
struct TemporaryFolderOverride : quillory::testing::ScopedEnv {
    explicit TemporaryFolderOverride(const fs::path& folder)
        : ScopedEnv("TMPDIR", folder.c_str()) {}
};

TEST(LegacyEngine, ListingAnXlsNeedsNoConversion) {
    TempDir work;
    TempDir temporary;
    TemporaryFolderOverride override(temporary.path());
    const fs::path file = work.write(
        "Quarterly.XLS", biff8Workbook({sheetNamed("North"), sheetNamed("Chart", 2),
                                        sheetNamed("Module1", 6), sheetNamed("South", 0, 1)}));
    auto application = CreateEngineApplication();
    Workbook& workbook = application->Workbooks().Open(file);
    ASSERT_EQ(workbook.Worksheets().Count(), 2);
    EXPECT_EQ(workbook.Worksheets().Item(1).Name(), "North");
    EXPECT_EQ(workbook.Worksheets().Item(2).Name(), "South");
    EXPECT_EQ(workbook.Worksheets().Item(2).Visibility(), SheetVisibility::Hidden);
    EXPECT_EQ(workbook.AllSheets().Count(), 3);
    EXPECT_EQ(workbook.AllSheets().Item(2).Kind(), SheetKind::ChartSheet);
    workbook.Close(false);
    application->Quit();
    EXPECT_TRUE(fs::is_empty(temporary.path()));
    EXPECT_TRUE(application->Report().empty());
}

TEST(LegacyEngine, BadLegacySourcesFailToOpenWithTheirOwnDescription) {
    TempDir work;
    auto application = CreateEngineApplication();
    const fs::path page = work.write("prices.xls", "<html><body><table><tr><td>1</td></tr>");
    try {
        application->Workbooks().Open(page);
        ADD_FAILURE() << "a web page was opened as a workbook";
    } catch (const SpreadsheetError& error) {
        EXPECT_EQ(error.code(), ErrorCode::TextNotWorkbook);
        EXPECT_NE(error.description().find("\"prices.xls\""), std::string::npos);
    }
}

#if QUILLORY_HAVE_XLSXWRITER

void writeSource(const fs::path& file) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    lxw_worksheet* data = workbook_add_worksheet(workbook, "Data");
    lxw_format* date = workbook_add_format(workbook);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format* money = workbook_add_format(workbook);
    format_set_num_format(money, "#,##0.00");
    format_set_bold(money);
    worksheet_write_string(data, 0, 0, "Item", nullptr);
    worksheet_write_string(data, 0, 1, "Amount", nullptr);
    worksheet_write_string(data, 0, 2, "Due", nullptr);
    const char* items[] = {"Apples", "Pears", "Plums – ripe", "Ærter"};
    for (int row = 1; row <= 4; ++row) {
        worksheet_write_string(data, row, 0, items[row - 1], nullptr);
        worksheet_write_number(data, row, 1, row * 12.5, money);
        lxw_datetime due = {2024, row, 10 + row, 0, 0, 0};
        worksheet_write_datetime(data, row, 2, &due, date);
    }
    worksheet_write_boolean(data, 5, 0, 1, nullptr);
    worksheet_write_number(data, 5, 1, -0.125, nullptr);
    lxw_worksheet* other = workbook_add_worksheet(workbook, "Other");
    worksheet_write_string(other, 0, 0, "not copied", nullptr);
    ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
}

// Compares every cell of a sheet of the .xls (xlrd) with a sheet of the result (openpyxl):
// values, and that date cells are still dates.
const char* const kCompareScript = R"(
import sys, datetime, xlrd, openpyxl
from openpyxl.utils.datetime import to_excel
source, source_sheet, result, result_sheet = sys.argv[1:5]
book = xlrd.open_workbook(source, formatting_info=True)
left = book.sheet_by_name(source_sheet)
# Cached values: LibreOffice turns boolean cells of .xls files into =TRUE() formulas.
right = openpyxl.load_workbook(result, data_only=True)[result_sheet]
problems = []
rows = max(left.nrows, right.max_row)
columns = max(left.ncols, right.max_column)
for r in range(rows):
    for c in range(columns):
        cell = right.cell(row=r + 1, column=c + 1)
        value = cell.value
        if r < left.nrows and c < left.ncols:
            kind = left.cell_type(r, c)
            expected = left.cell_value(r, c)
        else:
            kind, expected = xlrd.XL_CELL_EMPTY, ''
        if kind in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
            ok = value in (None, '')
        elif kind == xlrd.XL_CELL_DATE:
            ok = isinstance(value, datetime.datetime) and abs(to_excel(value) - expected) < 1e-9
        elif kind == xlrd.XL_CELL_BOOLEAN:
            ok = value is bool(expected)
        elif kind == xlrd.XL_CELL_NUMBER:
            ok = isinstance(value, (int, float)) and not isinstance(value, bool) and abs(value - expected) < 1e-9
        else:
            ok = value == expected
        if not ok:
            problems.append('%s%d: %r in the source, %r in the result' % (chr(65 + c), r + 1, expected, value))
print('\n'.join(problems))
sys.exit(1 if problems else 0)
)";

TEST(LegacyEngine, CopiedWorksheetsOfXlsAndOdsSourcesKeepTheirCells) {
    if (std::system("command -v soffice >/dev/null && command -v ssconvert >/dev/null && "
                    "/usr/bin/python3 -c 'import xlrd, openpyxl' 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs LibreOffice (soffice), Gnumeric (ssconvert), python3-xlrd and "
                        "python3-openpyxl";
    }
    TempDir work;
    TempDir temporary;
    writeSource(work / "source.xlsx");
    const std::string toXls =
        "cd '" + work.path().string() + "' && TMPDIR='" + work.path().string() +
        "' soffice --headless --norestore -env:UserInstallation=file://" +
        (work / "profile").string() + " --convert-to 'xls:MS Excel 97' source.xlsx > lo.log 2>&1";
    ASSERT_EQ(std::system(toXls.c_str()), 0) << readFile(work / "lo.log");
    ASSERT_EQ(std::system(("ssconvert '" + (work / "source.xlsx").string() + "' '" +
                           (work / "source.ods").string() + "' >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string xlsBefore = readFile(work / "source.xls");
    {
        TemporaryFolderOverride override(temporary.path());
        auto application = CreateEngineApplication();
        Workbook& result = application->Workbooks().Add();
        Sheet& placeholder = result.AllSheets().Item(1);
        for (const char* name : {"source.xls", "source.ods"}) {
            Workbook& source = application->Workbooks().Open(work / name);
            ASSERT_EQ(source.Worksheets().Count(), 2);
            source.Worksheets().Item("Data").CopyBefore(placeholder);
            source.Close(true);
        }
        placeholder.Delete();
        result.SaveAs(work / "merged.xlsx");
        std::vector<std::string> converted;
        for (const ReportItem& item : application->Report().items) {
            if (item.kind == ReportKind::Converted) {
                converted.push_back(item.sourceFile);
            }
        }
        EXPECT_EQ(converted, (std::vector<std::string>{"source.xls", "source.ods"}));
        application->Quit();
    }
    EXPECT_TRUE(fs::is_empty(temporary.path())) << "conversion files were left behind";
    EXPECT_EQ(readFile(work / "source.xls"), xlsBefore);

    const fs::path script = work.write("compare.py", kCompareScript);
    for (const char* sheet : {"Data", "Data (2)"}) {
        const std::string command = "/usr/bin/python3 '" + script.string() + "' '" +
                                    (work / "source.xls").string() + "' Data '" +
                                    (work / "merged.xlsx").string() + "' '" + sheet + "' > '" +
                                    (work / "compare.log").string() + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << sheet << ":\n"
                                                   << readFile(work / "compare.log");
    }
}

#endif

} // namespace
} // namespace quillory::spreadsheet
