// Writes the benchmark corpora: the same bytes on every run, so that timings taken on different
// days compare the same work.
// Usage: generate_corpus CORPUS FOLDER      (CORPUS: office, large, many, callgrind)
//        generate_corpus --version          (changes whenever the corpora's content changes)

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <xlsxwriter.h>

namespace {

// Bump whenever the output changes: the runner caches corpora under this version.
constexpr int kGeneratorVersion = 2;

// A fixed creation date keeps docProps/core.xml identical between runs.
constexpr int kCreatedYear = 2024;

// First day of the generated dates (a serial date) and how far they spread.
constexpr double kFirstDate = 44927.0; // 2023-01-01
constexpr std::uint64_t kDateSpreadDays = 730;

struct CorpusShape {
    std::string_view name;
    int workbooks;
    int sheetsPerWorkbook;
    int rows;
    bool officeColumns; // 12 styled columns with formulas; otherwise the 10 plain columns
};

constexpr std::array<CorpusShape, 4> kCorpora = {{
    {"office", 20, 3, 2000, true},
    {"large", 4, 1, 200000, false},
    {"many", 300, 2, 40, true},
    // Small enough that a merge under callgrind takes seconds.
    {"callgrind", 3, 2, 150, true},
}};

constexpr std::array<const char*, 3> kOfficeSheetNames = {"Sales", "Costs", "Summary"};

constexpr std::array<const char*, 12> kRegions = {
    "North",      "South",      "East",       "West",     "Central", "North-East",
    "North-West", "South-East", "South-West", "Overseas", "Online",  "Wholesale"};

constexpr std::array<const char*, 16> kWords = {
    "copper", "widget", "valve",  "bracket", "sensor",  "cable", "panel", "filter",
    "pump",   "gasket", "switch", "relay",   "bearing", "hinge", "clamp", "spring"};

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }
    // Two decimals, as money amounts are.
    double cents(std::uint64_t maxWhole) {
        return static_cast<double>(below(maxWhole * 100)) / 100.0;
    }

private:
    std::uint64_t state_;
};

std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
    }
    return hash;
}

std::string ProductName(Random& random) {
    std::string name = kWords[random.below(kWords.size())];
    name += ' ';
    name += kWords[random.below(kWords.size())];
    name += " #" + std::to_string(random.below(5000));
    return name;
}

std::string ColumnLetter(int column) {
    std::string letters;
    for (int n = column + 1; n > 0; n = (n - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return letters;
}

struct Formats {
    lxw_format* header;
    lxw_format* text;
    lxw_format* italic;
    lxw_format* date;
    lxw_format* money;
    lxw_format* count;
    lxw_format* price;
    lxw_format* percent;
    lxw_format* banded;
    lxw_format* total;
};

Formats MakeFormats(lxw_workbook* workbook) {
    Formats formats{};
    formats.header = workbook_add_format(workbook);
    format_set_bold(formats.header);
    format_set_font_name(formats.header, "Arial");
    format_set_font_color(formats.header, LXW_COLOR_WHITE);
    format_set_bg_color(formats.header, 0x1F4E78);
    format_set_border(formats.header, LXW_BORDER_THIN);

    formats.text = workbook_add_format(workbook);
    format_set_font_name(formats.text, "Calibri");

    formats.italic = workbook_add_format(workbook);
    format_set_italic(formats.italic);
    format_set_font_name(formats.italic, "Georgia");
    format_set_font_color(formats.italic, 0x595959);

    formats.date = workbook_add_format(workbook);
    format_set_num_format(formats.date, "yyyy-mm-dd");

    formats.money = workbook_add_format(workbook);
    format_set_num_format(formats.money, "#,##0.00 [$EUR]");

    formats.count = workbook_add_format(workbook);
    format_set_num_format(formats.count, "#,##0");
    format_set_align(formats.count, LXW_ALIGN_CENTER);

    formats.price = workbook_add_format(workbook);
    format_set_num_format(formats.price, "0.000");
    format_set_font_name(formats.price, "Courier New");

    formats.percent = workbook_add_format(workbook);
    format_set_num_format(formats.percent, "0.0%");

    formats.banded = workbook_add_format(workbook);
    format_set_bg_color(formats.banded, 0xDDEBF7);
    format_set_num_format(formats.banded, "#,##0.00");

    formats.total = workbook_add_format(workbook);
    format_set_bold(formats.total);
    format_set_num_format(formats.total, "#,##0.00");
    format_set_top(formats.total, LXW_BORDER_DOUBLE);
    return formats;
}

// 12 columns: numbers, strings, dates, formulas with cached values, several fonts, fills and
// number formats. Sheets after the first refer to the first by name, as real reports do.
void WriteOfficeSheet(lxw_worksheet* sheet, const Formats& formats, Random& random, int rows,
                      const char* firstSheetName, bool refersToFirst) {
    static constexpr std::array<const char*, 12> kHeaders = {
        "Id",   "Product", "Region", "Date",     "Quantity", "Unit price",
        "Cost", "Total",   "Margin", "Discount", "Note",     "Check"};
    for (int column = 0; column < static_cast<int>(kHeaders.size()); ++column) {
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(column), kHeaders[column],
                               formats.header);
    }
    worksheet_set_column(sheet, 1, 1, 24, nullptr);
    worksheet_set_column(sheet, 10, 10, 30, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
    for (int r = 1; r <= rows; ++r) {
        const auto row = static_cast<lxw_row_t>(r);
        const std::string excelRow = std::to_string(r + 1);
        const double quantity = static_cast<double>(1 + random.below(500));
        const double price = static_cast<double>(random.below(1000000)) / 1000.0;
        const double cost = random.cents(20000);
        const double discount = static_cast<double>(random.below(300)) / 1000.0;
        worksheet_write_number(sheet, row, 0, r, nullptr);
        worksheet_write_string(sheet, row, 1, ProductName(random).c_str(), formats.text);
        worksheet_write_string(sheet, row, 2, kRegions[random.below(kRegions.size())], nullptr);
        worksheet_write_number(sheet, row, 3,
                               kFirstDate + static_cast<double>(random.below(kDateSpreadDays)),
                               formats.date);
        worksheet_write_number(sheet, row, 4, quantity, formats.count);
        worksheet_write_number(sheet, row, 5, price, formats.price);
        worksheet_write_number(sheet, row, 6, cost, formats.money);
        const double total = quantity * price;
        worksheet_write_formula_num(sheet, row, 7, ("=E" + excelRow + "*F" + excelRow).c_str(),
                                    r % 2 == 0 ? formats.banded : formats.money, total);
        worksheet_write_formula_num(
            sheet, row, 8,
            ("=IF(H" + excelRow + "=0,0,(H" + excelRow + "-G" + excelRow + ")/H" + excelRow + ")")
                .c_str(),
            formats.percent, total == 0 ? 0 : (total - cost) / total);
        worksheet_write_number(sheet, row, 9, discount, formats.percent);
        if (random.below(4) == 0) {
            const std::string note = "Checked by " + std::string(kRegions[random.below(4)]) +
                                     " office, batch " + std::to_string(random.below(100000));
            worksheet_write_string(sheet, row, 10, note.c_str(), formats.italic);
        }
        if (refersToFirst) {
            const std::string formula =
                "='" + std::string(firstSheetName) + "'!H" + excelRow + "-H" + excelRow;
            worksheet_write_formula_num(sheet, row, 11, formula.c_str(), formats.money, 0.0);
        } else {
            worksheet_write_formula_num(sheet, row, 11, ("=ROUND(H" + excelRow + ",0)").c_str(),
                                        formats.count, static_cast<double>(std::lround(total)));
        }
    }
    const auto totalRow = static_cast<lxw_row_t>(rows + 1);
    worksheet_write_string(sheet, totalRow, 0, "Total", formats.total);
    for (int column : {4, 6, 7}) {
        const std::string letter = ColumnLetter(column);
        const std::string formula =
            "=SUM(" + letter + "2:" + letter + std::to_string(rows + 1) + ")";
        worksheet_write_formula(sheet, totalRow, static_cast<lxw_col_t>(column), formula.c_str(),
                                formats.total);
    }
}

// 10 plain columns of a data export: mostly numbers, some repeated and some unique strings.
void WriteLargeSheet(lxw_worksheet* sheet, const Formats& formats, Random& random, int rows) {
    static constexpr std::array<const char*, 10> kHeaders = {
        "Id", "Date", "Region", "Product", "Quantity", "Price", "Amount", "Rate", "Code", "Flag"};
    for (int column = 0; column < static_cast<int>(kHeaders.size()); ++column) {
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(column), kHeaders[column],
                               formats.header);
    }
    for (int r = 1; r <= rows; ++r) {
        const auto row = static_cast<lxw_row_t>(r);
        worksheet_write_number(sheet, row, 0, r, nullptr);
        worksheet_write_number(sheet, row, 1,
                               kFirstDate + static_cast<double>(random.below(kDateSpreadDays)),
                               formats.date);
        worksheet_write_string(sheet, row, 2, kRegions[random.below(kRegions.size())], nullptr);
        worksheet_write_string(sheet, row, 3, ProductName(random).c_str(), nullptr);
        worksheet_write_number(sheet, row, 4, static_cast<double>(random.below(1000)), nullptr);
        worksheet_write_number(sheet, row, 5, random.cents(5000), formats.money);
        worksheet_write_number(sheet, row, 6, random.cents(1000000), formats.money);
        worksheet_write_number(sheet, row, 7, static_cast<double>(random.below(100000)) / 1e5,
                               formats.percent);
        const std::string code = "C" + std::to_string(100000 + random.below(900000));
        worksheet_write_string(sheet, row, 8, code.c_str(), nullptr);
        worksheet_write_boolean(sheet, row, 9, static_cast<int>(random.below(2)), nullptr);
    }
}

bool WriteWorkbook(const CorpusShape& shape, int index, const std::filesystem::path& file) {
    // Not libxlsxwriter's constant-memory mode: it writes inline strings, and the workbooks users
    // merge keep their strings in the shared-string table.
    lxw_workbook* workbook = workbook_new(file.string().c_str());
    if (workbook == nullptr) {
        return false;
    }
    std::tm created{};
    created.tm_year = kCreatedYear - 1900;
    created.tm_mday = 1;
    lxw_doc_properties properties{};
    static char title[] = "Benchmark workbook";
    properties.title = title;
    properties.created = timegm(&created);
    workbook_set_properties(workbook, &properties);

    const Formats formats = MakeFormats(workbook);
    for (int s = 0; s < shape.sheetsPerWorkbook; ++s) {
        Random random(Fnv1a(shape.name) ^ (static_cast<std::uint64_t>(index) << 16) ^
                      static_cast<std::uint64_t>(s));
        std::string name;
        if (shape.officeColumns) {
            name = kOfficeSheetNames[static_cast<std::size_t>(s) % kOfficeSheetNames.size()];
        } else {
            name = "Data";
        }
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        if (shape.officeColumns) {
            WriteOfficeSheet(sheet, formats, random, shape.rows, kOfficeSheetNames[0], s > 0);
        } else {
            WriteLargeSheet(sheet, formats, random, shape.rows);
        }
    }
    const lxw_error error = workbook_close(workbook);
    if (error != LXW_NO_ERROR) {
        std::fprintf(stderr, "generate_corpus: %s: %s\n", file.string().c_str(),
                     lxw_strerror(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%d\n", kGeneratorVersion);
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: generate_corpus office|large|many|callgrind FOLDER\n"
                             "       generate_corpus --version\n");
        return 2;
    }
    const std::string_view wanted = argv[1];
    const std::filesystem::path folder = argv[2];
    for (const auto& shape : kCorpora) {
        if (shape.name != wanted) {
            continue;
        }
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::fprintf(stderr, "generate_corpus: cannot create %s: %s\n", folder.c_str(),
                         ec.message().c_str());
            return 1;
        }
        for (int i = 1; i <= shape.workbooks; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "%s-%03d.xlsx", std::string(shape.name).c_str(), i);
            if (!WriteWorkbook(shape, i, folder / name)) {
                return 1;
            }
        }
        return 0;
    }
    std::fprintf(stderr, "generate_corpus: unknown corpus '%s'\n", argv[1]);
    return 2;
}
