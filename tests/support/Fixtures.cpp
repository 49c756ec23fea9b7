#include "support/Fixtures.h"

#if QUILLORY_HAVE_XLSXWRITER

#include "support/PackageEntries.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <string>
#include <xlsxwriter.h>

// libxlsxwriter 1.1.4 does not free the formula of a list-from-range validation; keep that library
// leak out of the sanitizer runs of every program that writes fixtures.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libxlsxwriter.so\n";
}

// Designated initializers set a few of libxlsxwriter's options and leave the rest zero (its
// defaults), which this warning would flag.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace quillory::testing {

namespace {

// libxlsxwriter takes non-const strings in its option structs; it copies them.
char* text(const char* value) {
    return const_cast<char*>(value);
}

class Book {
public:
    explicit Book(const std::filesystem::path& file) : file_(file) {
        workbook_ = workbook_new(file.c_str());
        if (workbook_ == nullptr) {
            throw std::runtime_error("libxlsxwriter cannot create " + file.string());
        }
    }
    ~Book() {
        if (workbook_ != nullptr) {
            workbook_close(workbook_);
        }
    }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    lxw_worksheet* sheet(const char* name) {
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook_, name);
        if (worksheet == nullptr) {
            throw std::runtime_error("libxlsxwriter refused sheet name " + std::string(name));
        }
        return worksheet;
    }
    lxw_format* format() { return workbook_add_format(workbook_); }
    // A new format with one property: with(format_set_bold), with(format_set_indent, 3).
    template <typename Set, typename... Args> lxw_format* with(Set set, Args... args) {
        lxw_format* made = format();
        set(made, args...);
        return made;
    }
    lxw_workbook* get() { return workbook_; }
    void define(const char* name, const char* formula) {
        check(workbook_define_name(workbook_, name, formula));
    }
    void close() {
        const lxw_error error = workbook_close(workbook_);
        workbook_ = nullptr;
        check(error);
    }
    void check(lxw_error error) const {
        if (error != LXW_NO_ERROR) {
            throw std::runtime_error(file_.string() + ": libxlsxwriter: " + lxw_strerror(error));
        }
    }

private:
    std::filesystem::path file_;
    lxw_workbook* workbook_ = nullptr;
};

void writeBytes(const std::filesystem::path& file, const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

// Writes with libxlsxwriter, then rewrites one attribute it cannot express.
void patchPart(const std::filesystem::path& file, const char* part, const char* from,
               const char* to) {
    PackageEntries package = PackageEntries::read(file);
    package.replaceOnce(part, from, to);
    package.write(file);
}

void writeValues(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* numbers = book.sheet("Numbers");
    const std::array<double, 9> values = {0,     1,      -42,       0.1,          3.14159265358979,
                                          1e-10, 1.5e15, -0.000123, 123456789.125};
    for (std::size_t i = 0; i < values.size(); ++i) {
        worksheet_write_string(numbers, static_cast<lxw_row_t>(i), 0, "value", nullptr);
        worksheet_write_number(numbers, static_cast<lxw_row_t>(i), 1, values[i], nullptr);
    }
    lxw_format* date = book.with(format_set_num_format, "yyyy-mm-dd");
    lxw_format* dateTime = book.with(format_set_num_format, "yyyy-mm-dd hh:mm:ss");
    lxw_format* time = book.with(format_set_num_format, "hh:mm");
    lxw_datetime day = {2024, 2, 29, 0, 0, 0};
    lxw_datetime moment = {1999, 12, 31, 23, 59, 58};
    lxw_datetime clock = {0, 0, 0, 13, 45, 0};
    worksheet_write_datetime(numbers, 0, 3, &day, date);
    worksheet_write_datetime(numbers, 1, 3, &moment, dateTime);
    worksheet_write_datetime(numbers, 2, 3, &clock, time);
    worksheet_write_blank(numbers, 4, 3, book.with(format_set_bg_color, 0xFFFF99));
    worksheet_write_boolean(numbers, 5, 3, 1, nullptr);
    worksheet_write_boolean(numbers, 6, 3, 0, nullptr);

    lxw_worksheet* texts = book.sheet("Text & more");
    lxw_format* wrap = book.with(format_set_text_wrap);
    const std::array<const char*, 9> strings = {"plain",
                                                "Ünïcødé ÄÖÜ ß",
                                                "日本語のテキスト",
                                                "emoji 😀 outside the BMP",
                                                "  leading and trailing blanks  ",
                                                "123",
                                                "line one\nline two",
                                                "a_x000D_b literal",
                                                "<tag> & \"quotes\" 'apostrophes'"};
    for (std::size_t i = 0; i < strings.size(); ++i) {
        worksheet_write_string(texts, static_cast<lxw_row_t>(i), 0, strings[i],
                               i == 6 ? wrap : nullptr);
    }
    // The same string twice and a long one: shared strings are deduplicated by content.
    worksheet_write_string(texts, 0, 1, "plain", nullptr);
    worksheet_write_string(texts, 9, 0, std::string(2000, 'x').c_str(), nullptr);
    book.close();
}

void writeRichText(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* sheet = book.sheet("Rich");
    lxw_format* bold = book.with(format_set_bold);
    lxw_format* red = book.format();
    format_set_font_color(red, 0xC00000);
    format_set_italic(red);
    lxw_format* big = book.format();
    format_set_font_size(big, 16);
    format_set_font_name(big, "Courier New");
    lxw_format* superscript = book.with(format_set_font_script, LXW_FONT_SUPERSCRIPT);

    auto rich = [&](lxw_row_t row, std::vector<lxw_rich_string_tuple> runs) {
        std::vector<lxw_rich_string_tuple*> pointers;
        for (auto& run : runs) {
            pointers.push_back(&run);
        }
        pointers.push_back(nullptr);
        book.check(worksheet_write_rich_string(sheet, row, 0, pointers.data(), nullptr));
    };
    rich(0, {{nullptr, text("Plain, ")}, {bold, text("bold, ")}, {red, text("red italic")}});
    rich(1, {{big, text("E = mc")}, {superscript, text("2")}});
    // Same characters as A1 with other runs: a different shared string.
    rich(2, {{bold, text("Plain, ")}, {nullptr, text("bold, ")}, {red, text("red italic")}});
    worksheet_write_string(sheet, 3, 0, "Plain, bold, red italic", nullptr);
    book.close();
}
void writeFormats(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* fonts = book.sheet("Fonts");
    const std::array<const char*, 4> names = {"Arial", "Times New Roman", "Courier New", "Calibri"};
    for (lxw_row_t row = 0; row < 12; ++row) {
        lxw_format* format = book.format();
        format_set_font_name(format, names[row % names.size()]);
        format_set_font_size(format, 8 + row);
        if (row % 2 == 0) {
            format_set_bold(format);
        }
        if (row % 3 == 0) {
            format_set_italic(format);
        }
        if (row % 4 == 1) {
            format_set_underline(format,
                                 row % 8 == 1 ? LXW_UNDERLINE_SINGLE : LXW_UNDERLINE_DOUBLE);
        }
        if (row == 5) {
            format_set_font_strikeout(format);
        }
        if (row == 7) {
            format_set_font_script(format, LXW_FONT_SUBSCRIPT);
        }
        format_set_font_color(format, 0x102030u * (row + 1) & 0xFFFFFFu);
        worksheet_write_string(fonts, row, 0, names[row % names.size()], format);
        worksheet_write_number(fonts, row, 1, row * 1.5, format);
    }

    lxw_worksheet* fills = book.sheet("Fills and borders");
    for (lxw_row_t row = 0; row < 19; ++row) {
        lxw_format* fill = book.format();
        format_set_pattern(fill, static_cast<uint8_t>(row % 18 + 1));
        format_set_fg_color(fill, 0x4472C4 + row * 0x010203);
        format_set_bg_color(fill, 0xFFE699 - row * 0x000102);
        worksheet_write_number(fills, row, 0, row, fill);

        lxw_format* border = book.format();
        format_set_border(border, static_cast<uint8_t>(row % 13 + 1));
        format_set_border_color(border, 0x00B050 + row * 0x030000);
        if (row == 3) {
            format_set_left(border, LXW_BORDER_THICK);
            format_set_right_color(border, 0xFF0000);
            format_set_diag_type(border, LXW_DIAGONAL_BORDER_UP_DOWN);
            format_set_diag_border(border, LXW_BORDER_DASHED);
            format_set_diag_color(border, 0x7030A0);
        }
        worksheet_write_string(fills, row, 2, "border", border);
    }

    lxw_worksheet* numbers = book.sheet("Number formats");
    const std::array<uint8_t, 18> builtins = {1,  2,  3,  4,  9,  10, 11, 12, 13,
                                              14, 15, 18, 20, 22, 37, 40, 45, 49};
    for (std::size_t i = 0; i < builtins.size(); ++i) {
        worksheet_write_number(numbers, static_cast<lxw_row_t>(i), 0, 45678.1234 - i * 1001.5,
                               book.with(format_set_num_format_index, builtins[i]));
    }
    const std::array<const char*, 10> custom = {
        "0.000",    "#,##0.00 [$€-407]", "yyyy-mm-dd hh:mm", "[Red]-0.00;[Blue]0.00",
        "0.0%",     "\"Total: \"#,##0",  "dd/mm/yyyy",       "# ?/?",
        "0.00E+00", "[h]:mm:ss"};
    for (std::size_t i = 0; i < custom.size(); ++i) {
        worksheet_write_number(numbers, static_cast<lxw_row_t>(i), 1, 43831.75 - i * 1234.5,
                               book.with(format_set_num_format, custom[i]));
    }

    lxw_worksheet* alignment = book.sheet("Alignment");
    const std::array<uint8_t, 6> horizontal = {LXW_ALIGN_LEFT,    LXW_ALIGN_CENTER,
                                               LXW_ALIGN_RIGHT,   LXW_ALIGN_FILL,
                                               LXW_ALIGN_JUSTIFY, LXW_ALIGN_CENTER_ACROSS};
    const std::array<uint8_t, 3> vertical = {LXW_ALIGN_VERTICAL_TOP, LXW_ALIGN_VERTICAL_CENTER,
                                             LXW_ALIGN_VERTICAL_BOTTOM};
    for (lxw_row_t row = 0; row < horizontal.size(); ++row) {
        lxw_format* format = book.format();
        format_set_align(format, horizontal[row]);
        format_set_align(format, vertical[row % vertical.size()]);
        worksheet_write_string(alignment, row, 0, "aligned", format);
    }
    const std::array<int16_t, 4> rotations = {45, -45, 90, 270};
    for (lxw_row_t row = 0; row < rotations.size(); ++row) {
        worksheet_write_string(alignment, row, 1, "rotated",
                               book.with(format_set_rotation, rotations[row]));
    }
    worksheet_write_string(alignment, 0, 2, "indented", book.with(format_set_indent, 3));
    worksheet_write_string(alignment, 1, 2, "shrink to fit this long text",
                           book.with(format_set_shrink));
    worksheet_write_string(alignment, 2, 2, "wrapped text that goes on and on",
                           book.with(format_set_text_wrap));
    lxw_format* unlocked = book.format();
    format_set_unlocked(unlocked);
    format_set_hidden(unlocked);
    worksheet_write_number(alignment, 3, 2, 7, unlocked);
    book.close();
}

void writeLayout(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* layout = book.sheet("Layout");
    lxw_format* header = book.format();
    format_set_bold(header);
    format_set_align(header, LXW_ALIGN_CENTER);
    format_set_bg_color(header, 0xDDEBF7);
    book.check(worksheet_merge_range(layout, 0, 0, 0, 3, "Merged title", header));
    book.check(worksheet_merge_range(layout, 2, 5, 5, 6, "Block", nullptr));
    worksheet_set_column(layout, 0, 0, 25, nullptr);
    worksheet_set_column(layout, 1, 2, 4.5, nullptr);
    lxw_row_col_options hidden = {1, 0, 0};
    worksheet_set_column_opt(layout, 3, 3, 12, nullptr, &hidden);
    lxw_row_col_options level1 = {0, 1, 0};
    lxw_row_col_options level2 = {0, 2, 0};
    worksheet_set_column_opt(layout, 7, 8, 9, nullptr, &level1);
    worksheet_set_column_opt(layout, 9, 9, 9, nullptr, &level2);
    worksheet_set_column(layout, 10, 10, 14, book.with(format_set_num_format, "0.00"));
    for (lxw_row_t row = 1; row < 30; ++row) {
        worksheet_write_number(layout, row, 0, row * 10, nullptr);
    }
    worksheet_set_row(layout, 1, 30, nullptr);
    worksheet_set_row(layout, 6, 6.75, nullptr);
    worksheet_set_row_opt(layout, 7, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
    worksheet_set_row_opt(layout, 10, LXW_DEF_ROW_HEIGHT, nullptr, &level1);
    worksheet_set_row_opt(layout, 11, LXW_DEF_ROW_HEIGHT, nullptr, &level2);
    worksheet_set_row_opt(layout, 12, LXW_DEF_ROW_HEIGHT, nullptr, &level1);
    worksheet_set_row(layout, 14, 20, book.with(format_set_italic));
    worksheet_freeze_panes(layout, 2, 1);
    worksheet_set_zoom(layout, 150);

    lxw_worksheet* split = book.sheet("Split view");
    for (lxw_row_t row = 0; row < 40; ++row) {
        for (lxw_col_t col = 0; col < 6; ++col) {
            worksheet_write_number(split, row, col, row * 6 + col, nullptr);
        }
    }
    worksheet_split_panes(split, 45, 30);
    worksheet_set_zoom(split, 75);
    worksheet_gridlines(split, LXW_HIDE_ALL_GRIDLINES);
    worksheet_set_tab_color(split, 0x00B050);
    worksheet_set_selection(split, 4, 2, 8, 3);

    lxw_worksheet* rtl = book.sheet("Right to left");
    worksheet_right_to_left(rtl);
    worksheet_write_string(rtl, 0, 0, "يمين", nullptr);
    worksheet_set_default_row(rtl, 20, LXW_FALSE);
    worksheet_outline_settings(rtl, LXW_TRUE, LXW_FALSE, LXW_FALSE, LXW_FALSE);
    book.close();
}

void writeRules(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* conditional = book.sheet("Conditional");
    for (lxw_row_t row = 0; row < 12; ++row) {
        for (lxw_col_t col = 0; col < 4; ++col) {
            worksheet_write_number(conditional, row, col, (row * 7 + col * 13) % 100, nullptr);
        }
        worksheet_write_string(conditional, row, 5, row % 3 == 0 ? "apple pie" : "pear", nullptr);
    }
    lxw_format* high = book.format();
    format_set_bg_color(high, 0xFFC7CE);
    format_set_font_color(high, 0x9C0006);
    lxw_format* low = book.format();
    format_set_bold(low);
    format_set_border(low, LXW_BORDER_THIN);
    format_set_num_format(low, "0.0");

    // Every rule covers the first 12 rows of one column.
    auto addRule = [&](lxw_col_t col, lxw_conditional_format rule) {
        book.check(worksheet_conditional_format_range(conditional, 0, col, 11, col, &rule));
    };
    using Rule = lxw_conditional_format;
    addRule(0, Rule{.type = LXW_CONDITIONAL_TYPE_CELL,
                    .criteria = LXW_CONDITIONAL_CRITERIA_GREATER_THAN,
                    .value = 50,
                    .format = high});
    addRule(0, Rule{.type = LXW_CONDITIONAL_TYPE_CELL,
                    .criteria = LXW_CONDITIONAL_CRITERIA_BETWEEN,
                    .format = low,
                    .min_value = 10,
                    .max_value = 30});
    addRule(1, Rule{.type = LXW_CONDITIONAL_3_COLOR_SCALE});
    addRule(2, Rule{.type = LXW_CONDITIONAL_DATA_BAR, .bar_color = 0x638EC6});
    addRule(3, Rule{.type = LXW_CONDITIONAL_TYPE_FORMULA,
                    .value_string = text("=$D1>$C1"),
                    .format = high});
    addRule(5, Rule{.type = LXW_CONDITIONAL_TYPE_TEXT,
                    .criteria = LXW_CONDITIONAL_CRITERIA_TEXT_CONTAINING,
                    .value_string = text("apple"),
                    .format = low});
    addRule(6, Rule{.type = LXW_CONDITIONAL_TYPE_ICON_SETS,
                    .icon_style = LXW_CONDITIONAL_ICONS_3_TRAFFIC_LIGHTS_UNRIMMED});

    lxw_worksheet* validation = book.sheet("Validation");
    worksheet_write_string(validation, 0, 4, "red", nullptr);
    worksheet_write_string(validation, 1, 4, "green", nullptr);
    worksheet_write_string(validation, 2, 4, "blue", nullptr);
    lxw_data_validation whole = {.validate = LXW_VALIDATION_TYPE_INTEGER,
                                 .criteria = LXW_VALIDATION_CRITERIA_BETWEEN,
                                 .minimum_number = 1,
                                 .maximum_number = 10,
                                 .input_title = text("Whole number"),
                                 .input_message = text("Between 1 and 10"),
                                 .error_title = text("Out of range"),
                                 .error_message = text("Please type 1 to 10")};
    book.check(worksheet_data_validation_range(validation, 0, 0, 9, 0, &whole));
    const char* colours[] = {"red", "green", "blue", nullptr};
    lxw_data_validation list = {.validate = LXW_VALIDATION_TYPE_LIST,
                                .value_list = const_cast<char**>(colours)};
    book.check(worksheet_data_validation_cell(validation, 0, 1, &list));
    lxw_data_validation range = {.validate = LXW_VALIDATION_TYPE_LIST_FORMULA,
                                 .value_formula = text("=$E$1:$E$3")};
    book.check(worksheet_data_validation_range(validation, 1, 1, 5, 1, &range));
    lxw_data_validation decimal = {.validate = LXW_VALIDATION_TYPE_DECIMAL,
                                   .criteria = LXW_VALIDATION_CRITERIA_GREATER_THAN,
                                   .error_type = LXW_VALIDATION_ERROR_TYPE_WARNING,
                                   .value_number = 0.5};
    book.check(worksheet_data_validation_cell(validation, 0, 2, &decimal));
    lxw_data_validation custom = {.validate = LXW_VALIDATION_TYPE_CUSTOM_FORMULA,
                                  .value_formula = text("=LEN(D1)<5")};
    book.check(worksheet_data_validation_cell(validation, 0, 3, &custom));

    lxw_worksheet* filter = book.sheet("Filter");
    worksheet_write_string(filter, 0, 0, "Region", nullptr);
    worksheet_write_string(filter, 0, 1, "Sales", nullptr);
    const std::array<const char*, 3> regions = {"East", "West", "North"};
    for (lxw_row_t row = 1; row <= 9; ++row) {
        worksheet_write_string(filter, row, 0, regions[row % 3], nullptr);
        worksheet_write_number(filter, row, 1, row * 100, nullptr);
    }
    book.check(worksheet_autofilter(filter, 0, 0, 9, 1));
    lxw_filter_rule rule = {.criteria = LXW_FILTER_CRITERIA_GREATER_THAN, .value = 300};
    book.check(worksheet_filter_column(filter, 1, &rule));
    // libxlsxwriter leaves hiding the filtered rows to the caller, as a spreadsheet would.
    for (lxw_row_t row = 1; row <= 3; ++row) {
        lxw_row_col_options hidden = {1, 0, 0};
        worksheet_set_row_opt(filter, row, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
    }
    book.close();
}

void writeLinks(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* links = book.sheet("Links");
    lxw_worksheet* other = book.sheet("Other Sheet");
    worksheet_write_string(other, 0, 0, "target", nullptr);
    book.check(worksheet_write_url(links, 0, 0, "https://example.com/path?q=1", nullptr));
    book.check(worksheet_write_url_opt(links, 1, 0, "https://example.org/#anchor", nullptr,
                                       "Example with anchor", "A tooltip"));
    book.check(worksheet_write_url(links, 2, 0, "mailto:someone@example.com", nullptr));
    book.check(worksheet_write_url_opt(links, 3, 0, "internal:'Other Sheet'!A1", nullptr,
                                       "Go to the other sheet", nullptr));
    book.check(
        worksheet_write_url_opt(links, 4, 0, "internal:Links!C10", nullptr, "Down here", nullptr));
    book.check(worksheet_write_url(links, 5, 0, "external:other workbook.xlsx", nullptr));
    book.close();
}

void writePrint(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* print = book.sheet("Print");
    for (lxw_row_t row = 0; row < 60; ++row) {
        for (lxw_col_t col = 0; col < 5; ++col) {
            worksheet_write_number(print, row, col, row + col / 10.0, nullptr);
        }
    }
    worksheet_set_landscape(print);
    worksheet_set_paper(print, 9); // A4
    worksheet_set_margins(print, 0.5, 0.6, 0.7, 0.8);
    book.check(worksheet_set_header(print, "&L&\"Arial,Bold\"Quarterly&CPage &P of &N&R&D"));
    book.check(worksheet_set_footer(print, "&CConfidential"));
    book.check(worksheet_print_area(print, 0, 0, 39, 4));
    book.check(worksheet_repeat_rows(print, 0, 1));
    book.check(worksheet_repeat_columns(print, 0, 0));
    worksheet_fit_to_pages(print, 1, 2);
    lxw_row_t breaks[] = {20, 40, 0};
    book.check(worksheet_set_h_pagebreaks(print, breaks));
    worksheet_center_horizontally(print);
    worksheet_gridlines(print, LXW_SHOW_PRINT_GRIDLINES);
    worksheet_print_row_col_headers(print);

    lxw_worksheet* scaled = book.sheet("Scaled");
    worksheet_write_string(scaled, 0, 0, "scaled print", nullptr);
    worksheet_set_print_scale(scaled, 80);
    worksheet_set_portrait(scaled);
    worksheet_center_vertically(scaled);
    book.close();
}

void writeProtection(const std::filesystem::path& file) {
    {
        Book book(file);
        lxw_worksheet* visible = book.sheet("Protected");
        lxw_format* unlocked = book.with(format_set_unlocked);
        worksheet_write_string(visible, 0, 0, "locked", nullptr);
        worksheet_write_string(visible, 1, 0, "editable", unlocked);
        lxw_protection options = {.format_cells = 1, .insert_rows = 1, .sort = 1};
        worksheet_protect(visible, "quillory", &options);

        lxw_worksheet* hidden = book.sheet("Hidden");
        worksheet_write_string(hidden, 0, 0, "hidden sheet", nullptr);
        worksheet_hide(hidden);

        lxw_worksheet* secret = book.sheet("Very hidden");
        worksheet_write_string(secret, 0, 0, "very hidden sheet", nullptr);
        worksheet_hide(secret);

        lxw_worksheet* coloured = book.sheet("Coloured");
        worksheet_write_string(coloured, 0, 0, "the active sheet", nullptr);
        worksheet_set_tab_color(coloured, 0xFF6600);
        worksheet_activate(coloured);
        book.close();
    }
    patchPart(file, "xl/workbook.xml", "name=\"Very hidden\" sheetId=\"3\" state=\"hidden\"",
              "name=\"Very hidden\" sheetId=\"3\" state=\"veryHidden\"");
}

void writeTables(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* sales = book.sheet("Sales");
    const std::array<const char*, 4> products = {"Pens", "Paper", "Ink", "Staples"};
    const std::array<double, 4> quantities = {10, 25, 3, 40};
    const std::array<double, 4> prices = {1.5, 4.25, 19.99, 0.75};
    lxw_format* money = book.with(format_set_num_format, "#,##0.00");
    lxw_table_column product = {.header = text("Product"), .total_string = text("Total")};
    lxw_table_column quantity = {.header = text("Qty"), .total_function = LXW_TABLE_FUNCTION_SUM};
    lxw_table_column price = {
        .header = text("Price"), .total_function = LXW_TABLE_FUNCTION_AVERAGE, .format = money};
    lxw_table_column amount = {.header = text("Amount"),
                               .formula = text("=[@Qty]*[@Price]"),
                               .total_function = LXW_TABLE_FUNCTION_SUM,
                               .format = money};
    lxw_table_column* columns[] = {&product, &quantity, &price, &amount, nullptr};
    lxw_table_options options = {.name = text("SalesTable"),
                                 .style_type = LXW_TABLE_STYLE_TYPE_MEDIUM,
                                 .style_type_number = 9,
                                 .total_row = LXW_TRUE,
                                 .columns = columns};
    double amountSum = 0;
    for (std::size_t i = 0; i < products.size(); ++i) {
        const auto row = static_cast<lxw_row_t>(i + 1);
        worksheet_write_string(sales, row, 0, products[i], nullptr);
        worksheet_write_number(sales, row, 1, quantities[i], nullptr);
        worksheet_write_number(sales, row, 2, prices[i], money);
        amountSum += quantities[i] * prices[i];
    }
    book.check(worksheet_add_table(sales, 0, 0, 5, 3, &options));
    // The calculated column was written without results; give every cell its value.
    for (std::size_t i = 0; i < products.size(); ++i) {
        const auto row = static_cast<lxw_row_t>(i + 1);
        worksheet_write_formula_num(
            sales, row, 3, "=SalesTable[[#This Row],[Qty]]*SalesTable[[#This Row],[Price]]", money,
            quantities[i] * prices[i]);
    }
    worksheet_write_formula_num(sales, 7, 0, "=SUM(SalesTable[Amount])", money, amountSum);

    lxw_worksheet* stock = book.sheet("Stock");
    for (lxw_row_t row = 1; row <= 3; ++row) {
        worksheet_write_string(stock, row, 0, products[row], nullptr);
        worksheet_write_number(stock, row, 1, row * 11, nullptr);
    }
    lxw_table_column item = {.header = text("Item")};
    lxw_table_column onHand = {.header = text("On hand")};
    lxw_table_column* stockColumns[] = {&item, &onHand, nullptr};
    lxw_table_options plain = {.name = text("StockTable"),
                               .no_autofilter = LXW_TRUE,
                               .banded_columns = LXW_TRUE,
                               .style_type = LXW_TABLE_STYLE_TYPE_LIGHT,
                               .style_type_number = 11,
                               .columns = stockColumns};
    book.check(worksheet_add_table(stock, 0, 0, 3, 1, &plain));
    book.close();
}

void writeNames(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* data = book.sheet("Data");
    lxw_worksheet* quoted = book.sheet("My Data");
    lxw_worksheet* report = book.sheet("Report");
    const double rate = 0.25;
    worksheet_write_string(data, 0, 0, "Rate", nullptr);
    worksheet_write_number(data, 0, 1, rate, nullptr);
    double items = 0;
    for (lxw_row_t row = 1; row <= 9; ++row) {
        worksheet_write_number(data, row, 0, row * 3, nullptr);
        items += row * 3;
    }
    const double quotedValue = 17;
    worksheet_write_number(quoted, 0, 0, quotedValue, nullptr);
    book.define("Rate", "=Data!$B$1");
    book.define("Items", "=Data!$A$2:$A$10");
    book.define("VAT", "=0.19");
    book.define("Report!LocalTotal", "=Report!$B$1");
    book.define("'My Data'!Here", "='My Data'!$A$1");

    worksheet_write_formula_num(report, 0, 1, "=SUM(Items)*Rate", nullptr, items * rate);
    worksheet_write_formula_num(report, 1, 1, "=LocalTotal*(1+VAT)", nullptr, items * rate * 1.19);
    worksheet_write_formula_num(report, 2, 1, "=Data!B1*2", nullptr, rate * 2);
    worksheet_write_formula_num(report, 3, 1, "='My Data'!A1+Data!A2", nullptr, quotedValue + 3);
    worksheet_write_formula_num(report, 4, 1, "=SUM(Data!A2:A10)", nullptr, items);
    worksheet_write_string(report, 0, 0, "Items x rate", nullptr);
    book.check(worksheet_print_area(report, 0, 0, 4, 1));
    book.check(worksheet_repeat_rows(report, 0, 0));
    book.close();
}

void writeFormulas(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* inputs = book.sheet("Inputs");
    lxw_worksheet* calc = book.sheet("Calc");
    const std::array<double, 5> a = {2, 4, 8, 16, 32};
    const std::array<double, 5> b = {1, 3, 5, 7, 9};
    for (std::size_t i = 0; i < a.size(); ++i) {
        worksheet_write_number(inputs, static_cast<lxw_row_t>(i), 0, a[i], nullptr);
        worksheet_write_number(inputs, static_cast<lxw_row_t>(i), 1, b[i], nullptr);
    }
    worksheet_write_string(inputs, 0, 2, "label", nullptr);
    const double sumA = std::accumulate(a.begin(), a.end(), 0.0);
    double product = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        product += a[i] * b[i];
    }
    worksheet_write_formula_num(calc, 0, 0, "=Inputs!A1+Inputs!A2", nullptr, a[0] + a[1]);
    worksheet_write_formula_num(calc, 1, 0, "=SUM(Inputs!A1:A5)", nullptr, sumA);
    worksheet_write_formula_str(calc, 2, 0, "=Inputs!C1&\"-x\"", nullptr, "label-x");
    worksheet_write_formula_num(calc, 3, 0, "=IF(A2>50,1,0)", nullptr, sumA > 50 ? 1 : 0);
    worksheet_write_formula_num(calc, 4, 0, "=A1*$A$2", nullptr, (a[0] + a[1]) * sumA);
    worksheet_write_array_formula_num(calc, 5, 0, 5, 0, "{=SUM(Inputs!A1:A3*Inputs!B1:B3)}",
                                      nullptr, product);
    worksheet_write_formula_num(calc, 6, 0, "=VLOOKUP(8,Inputs!A1:B5,2,FALSE)", nullptr, b[2]);
    worksheet_write_formula_num(calc, 7, 0, "=ROUND(AVERAGE(Inputs!B1:B5),2)", nullptr,
                                std::round(std::accumulate(b.begin(), b.end(), 0.0) / 5 * 100) /
                                    100);
    worksheet_write_formula_str(calc, 8, 0, "=\"Inputs!A1 is text\"", nullptr, "Inputs!A1 is text");
    book.close();
}

void writeDate1904(const std::filesystem::path& file) {
    {
        Book book(file);
        lxw_worksheet* dates = book.sheet("Dates 1904");
        lxw_format* date = book.with(format_set_num_format, "yyyy-mm-dd");
        lxw_format* stamp = book.with(format_set_num_format, "yyyy-mm-dd hh:mm");
        // Serial numbers counted from 1904-01-01 once the workbook uses the 1904 system.
        const std::array<double, 5> serials = {0, 1, 366, 43000, 45000.5};
        for (std::size_t i = 0; i < serials.size(); ++i) {
            worksheet_write_number(dates, static_cast<lxw_row_t>(i), 0, serials[i],
                                   i == 4 ? stamp : date);
            worksheet_write_number(dates, static_cast<lxw_row_t>(i), 1, serials[i], nullptr);
        }
        book.close();
    }
    patchPart(file, "xl/workbook.xml", "<workbookPr ", "<workbookPr date1904=\"1\" ");
}

// Two workbooks with the same sheet names (one in other case) force "Name (2)" copies, and
// their formulas must follow the renamed sheet, not the first workbook's sheet of that name.
void writeSameNames(const std::filesystem::path& file, const char* dataName, double base) {
    Book book(file);
    lxw_worksheet* data = book.sheet(dataName);
    lxw_worksheet* summary = book.sheet("Summary");
    double sum = 0;
    for (lxw_row_t row = 0; row < 3; ++row) {
        worksheet_write_number(data, row, 0, base + row, nullptr);
        sum += base + row;
    }
    const std::string single = std::string("=") + dataName + "!A1*2";
    const std::string range = std::string("=SUM(") + dataName + "!A1:A3)";
    worksheet_write_formula_num(summary, 0, 0, single.c_str(), nullptr, base * 2);
    worksheet_write_formula_num(summary, 1, 0, range.c_str(), nullptr, sum);
    worksheet_write_string(summary, 2, 0, file.filename().c_str(), nullptr);
    book.close();
}

void writeLongName(const std::filesystem::path& file) {
    Book book(file);
    // 31 characters: a copy's " (2)" must cut the base, not exceed the limit.
    lxw_worksheet* sheet = book.sheet("Quarterly revenue by region 24");
    worksheet_write_string(sheet, 0, 0, "a sheet with a name of 31 characters", nullptr);
    worksheet_write_formula_num(sheet, 1, 0, "='Quarterly revenue by region 24'!B1+1", nullptr, 6);
    worksheet_write_number(sheet, 0, 1, 5, nullptr);
    book.close();
}

void writeDynamicArrays(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* data = book.sheet("Data");
    lxw_worksheet* spill = book.sheet("Spill");
    const std::array<double, 6> values = {5, 3, 9, 3, 1, 7};
    for (std::size_t i = 0; i < values.size(); ++i) {
        worksheet_write_number(data, static_cast<lxw_row_t>(i), 0, values[i], nullptr);
    }
    // Spilling formulas over another sheet, over their own sheet, one single-cell dynamic
    // formula and, for contrast, an ordinary array formula (which must not gain a spill).
    book.check(worksheet_write_dynamic_array_formula_num(
        spill, 0, 0, 5, 0, "=_xlfn._xlws.SORT(Data!A1:A6)", nullptr,
        *std::min_element(values.begin(), values.end())));
    book.check(worksheet_write_dynamic_array_formula_num(
        spill, 0, 1, 4, 1, "=_xlfn.UNIQUE(Data!A1:A6)", nullptr, values[0]));
    book.check(
        worksheet_write_dynamic_formula_num(spill, 0, 2, "=SUM(Data!A1:A6)", nullptr,
                                            std::accumulate(values.begin(), values.end(), 0.0)));
    book.check(worksheet_write_array_formula_num(spill, 0, 3, 0, 3, "{=SUM(Data!A1:A3*2)}", nullptr,
                                                 2 * (values[0] + values[1] + values[2])));
    book.check(worksheet_write_dynamic_array_formula_num(spill, 0, 4, 2, 4, "=_xlfn.SEQUENCE(3)",
                                                         nullptr, 1));
    book.close();
}

void writeNotes(const std::filesystem::path& file) {
    // The header picture is read from disk by the writer: a 1x1 PNG beside the workbook.
    const std::filesystem::path picture = file.string() + ".logo.png";
    writeBytes(picture, "89504E470D0A1A0A0000000D49484452000000010000000108060000001F15C4890000000A"
                        "49444154789C63000100000500010D0A2DB40000000049454E44AE426082");
    Book book(file);
    lxw_worksheet* notes = book.sheet("Notes");
    lxw_worksheet* buttons = book.sheet("Buttons");
    lxw_worksheet* header = book.sheet("Header");
    worksheet_set_comments_author(notes, text("Default Author"));
    worksheet_write_string(notes, 0, 0, "noted", nullptr);
    book.check(worksheet_write_comment(notes, 0, 0, "A plain note"));
    lxw_comment_options shown = {.visible = LXW_COMMENT_DISPLAY_VISIBLE,
                                 .author = text("Ann Author")};
    book.check(worksheet_write_comment_opt(notes, 2, 1, "A note shown all the time", &shown));
    lxw_comment_options other = {.author = text("Bob Builder")};
    book.check(worksheet_write_comment_opt(notes, 4, 2, "Bob's note", &other));

    worksheet_write_number(buttons, 0, 0, 1, nullptr);
    lxw_button_options run = {.caption = text("Run"), .macro = text("RunReport")};
    book.check(worksheet_insert_button(buttons, 2, 1, &run));
    lxw_button_options plain = {.caption = text("Plain")};
    book.check(worksheet_insert_button(buttons, 6, 1, &plain));
    book.check(worksheet_write_comment(buttons, 0, 0, "A note beside buttons"));

    worksheet_write_string(header, 0, 0, "printed with a logo", nullptr);
    const std::string picturePath = picture.string();
    lxw_header_footer_options logo = {.image_center = text(picturePath.c_str())};
    book.check(worksheet_set_header_opt(header, "&C&G", &logo));
    book.close();
    std::filesystem::remove(picture);
}

// Small pictures for the drawing fixtures: a 24x16 gradient as PNG and as JPEG.
constexpr const char* kGradientPng =
    "89504E470D0A1A0A0000000D4948445200000018000000100403000000FE0AA2A600000030504C5445FF0000EE"
    "0011DD0022CC0033BB0044AA00559900668800777700886600995500AA4400BB3300CC2200DD1100EE0000FF25"
    "C28AC60000003B4944415408D74DC14101001000C0C055504105155450410515545041051554504105BEBB030B"
    "42149290852254A1095D18C21496B085235CE1C90719175FA102CA79C40000000049454E44AE426082";
constexpr const char* kGradientJpeg =
    "FFD8FFE000104A46494600010100000100010000FFDB0043000D090A0B0A080D0B0A0B0E0E0D0F132015131212"
    "13271C1E17202E2931302E292D2C333A4A3E333646372C2D405741464C4E525352323E5A615A50604A51524FFF"
    "DB0043010E0E0E131113261515264F352D354F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F"
    "4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4F4FFFC00011080010001803012200021101031101FFC400"
    "1500010100000000000000000000000000000006FFC400161001010100000000000000000000000000001562FF"
    "C400160101010100000000000000000000000000000406FFC40016110101010000000000000000000000000000"
    "1461FFDA000C03010002110311003F00A7A5A29691B4B452D31D0626B5654B423696820C2D7FFFD9";

void writeCharts(const std::filesystem::path& file) {
    Book book(file);
    lxw_worksheet* data = book.sheet("Data Sheet");
    lxw_worksheet* report = book.sheet("Report");
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr"};
    worksheet_write_string(data, 0, 0, "Month", nullptr);
    worksheet_write_string(data, 0, 1, "Sales", nullptr);
    worksheet_write_string(report, 0, 0, "Quarter", nullptr);
    worksheet_write_string(report, 0, 1, "Units", nullptr);
    for (int i = 0; i < 4; ++i) {
        worksheet_write_string(data, static_cast<lxw_row_t>(i + 1), 0, kMonths[i], nullptr);
        worksheet_write_number(data, static_cast<lxw_row_t>(i + 1), 1, 10.0 * (i + 1) + 5, nullptr);
        worksheet_write_number(report, static_cast<lxw_row_t>(i + 1), 0, i + 1, nullptr);
        worksheet_write_number(report, static_cast<lxw_row_t>(i + 1), 1, 7.0 * (4 - i), nullptr);
    }
    lxw_chart* own = workbook_add_chart(book.get(), LXW_CHART_COLUMN);
    lxw_chart_series* units = chart_add_series(own, "=Report!$A$2:$A$5", "=Report!$B$2:$B$5");
    chart_series_set_name(units, "=Report!$B$1");
    chart_title_set_name(own, "Units per quarter");
    book.check(worksheet_insert_chart(report, 0, 3, own));
    lxw_chart* other = workbook_add_chart(book.get(), LXW_CHART_LINE);
    lxw_chart_series* sales =
        chart_add_series(other, "='Data Sheet'!$A$2:$A$5", "='Data Sheet'!$B$2:$B$5");
    chart_series_set_name(sales, "='Data Sheet'!$B$1");
    chart_title_set_name(other, "Sales by month");
    book.check(worksheet_insert_chart(report, 16, 3, other));
    book.close();
}

// Pictures (PNG, JPEG, the same PNG again, one with a web link and one with a link into the
// workbook), a background picture, and - added to the drawing afterwards, as the writer has no
// call for them - a text box showing a cell, a group of two shapes and a linked picture.
void writePictures(const std::filesystem::path& file) {
    const std::filesystem::path png = file.string() + ".gradient.png";
    const std::filesystem::path jpeg = file.string() + ".gradient.jpeg";
    writeBytes(png, kGradientPng);
    writeBytes(jpeg, kGradientJpeg);
    {
        Book book(file);
        lxw_worksheet* pictures = book.sheet("Pictures");
        lxw_worksheet* targets = book.sheet("Targets");
        lxw_worksheet* more = book.sheet("More pictures");
        worksheet_write_string(pictures, 0, 0, "pictures below", nullptr);
        worksheet_write_string(targets, 0, 0, "linked text", nullptr);
        worksheet_write_string(more, 0, 0, "the same picture again", nullptr);
        lxw_image_options big = {.x_scale = 4, .y_scale = 4};
        book.check(worksheet_insert_image_opt(pictures, 1, 1, png.c_str(), &big));
        book.check(worksheet_insert_image_opt(pictures, 1, 6, jpeg.c_str(), &big));
        lxw_image_options web = big;
        web.url = text("https://example.com/quillory");
        book.check(worksheet_insert_image_opt(pictures, 9, 1, png.c_str(), &web));
        lxw_image_options inside = big;
        inside.url = text("internal:Targets!A1");
        book.check(worksheet_insert_image_opt(pictures, 9, 6, png.c_str(), &inside));
        book.check(worksheet_set_background(more, png.c_str()));
        book.check(worksheet_insert_image_opt(more, 1, 1, png.c_str(), &big));
        book.close();
    }
    std::filesystem::remove(png);
    std::filesystem::remove(jpeg);

    PackageEntries package = PackageEntries::read(file);
    const std::string anchor =
        [](int row, const std::string& body) {
            return "<xdr:twoCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff>"
                   "<xdr:row>" +
                   std::to_string(row) +
                   "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from>"
                   "<xdr:to><xdr:col>4</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" +
                   std::to_string(row + 3) + "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to>" +
                   body + "<xdr:clientData/></xdr:twoCellAnchor>";
        }(18,
          "<xdr:sp macro=\"\" textlink=\"Targets!$A$1\"><xdr:nvSpPr><xdr:cNvPr id=\"101\" "
          "name=\"TextBox 1\"/><xdr:cNvSpPr txBox=\"1\"/></xdr:nvSpPr><xdr:spPr><a:prstGeom "
          "prst=\"rect\"><a:avLst/></a:prstGeom><a:solidFill><a:schemeClr "
          "val=\"accent2\"><a:lumMod "
          "val=\"60000\"/></a:schemeClr></a:solidFill></xdr:spPr><xdr:txBody><a:bodyPr/"
          "><a:p><a:fld "
          "id=\"{0D2A9E1C-6C1E-4F6B-8A52-1E1F3C2B4A11}\" type=\"TxLink\"><a:rPr lang=\"en-US\"/>"
          "<a:t>linked text</a:t></a:fld></a:p></xdr:txBody></xdr:sp>");
    const std::string group =
        "<xdr:twoCellAnchor><xdr:from><xdr:col>6</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>18"
        "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>9</xdr:col><xdr:colOff>0"
        "</xdr:colOff><xdr:row>22</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:to><xdr:grpSp>"
        "<xdr:nvGrpSpPr><xdr:cNvPr id=\"102\" name=\"Group 2\"/><xdr:cNvGrpSpPr/></xdr:nvGrpSpPr>"
        "<xdr:grpSpPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext cx=\"1800000\" cy=\"700000\"/>"
        "<a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"1800000\" cy=\"700000\"/></a:xfrm></xdr:grpSpPr>"
        "<xdr:sp macro=\"\" textlink=\"\"><xdr:nvSpPr><xdr:cNvPr id=\"103\" name=\"Oval 3\"/>"
        "<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/><a:ext "
        "cx=\"800000\" cy=\"700000\"/></a:xfrm><a:prstGeom prst=\"ellipse\"><a:avLst/>"
        "</a:prstGeom><a:solidFill><a:srgbClr val=\"2E75B6\"/></a:solidFill></xdr:spPr></xdr:sp>"
        "<xdr:sp macro=\"\" textlink=\"\"><xdr:nvSpPr><xdr:cNvPr id=\"104\" name=\"Rectangle 4\">"
        "<a:hlinkClick xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships\" r:id=\"rId90\"/></xdr:cNvPr><xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr><a:xfrm>"
        "<a:off x=\"1000000\" y=\"0\"/><a:ext cx=\"800000\" cy=\"700000\"/></a:xfrm><a:prstGeom "
        "prst=\"rect\"><a:avLst/></a:prstGeom><a:solidFill><a:srgbClr val=\"C55A11\"/>"
        "</a:solidFill></xdr:spPr></xdr:sp></xdr:grpSp><xdr:clientData/></xdr:twoCellAnchor>";
    const std::string linked =
        "<xdr:oneCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>24"
        "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx=\"914400\" cy=\"609600\"/>"
        "<xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"105\" name=\"Linked picture 5\"/><xdr:cNvPicPr/>"
        "</xdr:nvPicPr><xdr:blipFill><a:blip xmlns:r=\"http://schemas.openxmlformats.org/"
        "officeDocument/2006/relationships\" r:link=\"rId91\"/><a:stretch><a:fillRect/>"
        "</a:stretch></xdr:blipFill><xdr:spPr><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom>"
        "</xdr:spPr></xdr:pic><xdr:clientData/></xdr:oneCellAnchor>";
    package.replaceOnce("xl/drawings/drawing1.xml", "</xdr:wsDr>",
                        anchor + group + linked + "</xdr:wsDr>");
    package.replaceOnce(
        "xl/drawings/_rels/drawing1.xml.rels", "</Relationships>",
        "<Relationship Id=\"rId90\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/hyperlink\" Target=\"#Targets!A1\"/><Relationship Id=\"rId91\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" "
        "Target=\"file:///srv/pictures/missing-logo.png\" TargetMode=\"External\"/>"
        "</Relationships>");
    package.write(file);
}

const std::vector<FixtureWorkbook> kFixtures = {
    {"values.xlsx", "numbers, dates, booleans, blanks, plain and unicode strings", writeValues},
    {"rich-text.xlsx", "rich text runs in shared strings", writeRichText},
    {"formats.xlsx", "fonts, fills, borders, number formats, alignment, protection", writeFormats},
    {"layout.xlsx",
     "merged cells, column widths, row heights, hidden and outline rows and columns, panes, "
     "zoom, gridlines, tab colour, right-to-left",
     writeLayout},
    {"rules.xlsx", "conditional formats, data validation, autofilter", writeRules},
    {"links.xlsx", "external and internal hyperlinks", writeLinks},
    {"print.xlsx", "page setup, margins, headers and footers, print area and titles, breaks",
     writePrint},
    {"protection.xlsx", "sheet protection, hidden and very hidden sheets, tab colour, active tab",
     writeProtection},
    {"tables.xlsx", "tables with totals, calculated columns and structured references",
     writeTables},
    {"names.xlsx", "global and sheet-scoped defined names, print areas, quoted sheet names",
     writeNames},
    {"formulas.xlsx", "formulas referring to other sheets, array formulas, cached values",
     writeFormulas},
    {"date1904.xlsx", "the 1904 date system", writeDate1904},
    {"same-names-1.xlsx", "sheet names shared with same-names-2.xlsx",
     [](const auto& file) { writeSameNames(file, "Data", 100); }},
    {"same-names-2.xlsx", "sheet names shared with same-names-1.xlsx (other case)",
     [](const auto& file) { writeSameNames(file, "DATA", 7); }},
    {"long-name.xlsx", "a 31-character sheet name", writeLongName},
    {"notes.xlsx", "notes with authors and one shown, form-control buttons, a header picture",
     writeNotes},
    {"dynamic-arrays.xlsx", "spilling (dynamic-array) formulas and their cell metadata",
     writeDynamicArrays},
    {"charts.xlsx", "charts reading their own sheet and another sheet, with titles and names",
     writeCharts},
    {"pictures.xlsx",
     "PNG and JPEG pictures, linked and hyperlinked pictures, a background, a text box showing a "
     "cell, a group of shapes",
     writePictures},
};

} // namespace

const std::vector<FixtureWorkbook>& fixtureWorkbooks() {
    return kFixtures;
}

std::filesystem::path writeFixture(const std::string& fileName,
                                   const std::filesystem::path& folder) {
    for (const auto& fixture : kFixtures) {
        if (fixture.fileName == fileName) {
            const auto file = folder / fileName;
            fixture.write(file);
            return file;
        }
    }
    throw std::runtime_error("no fixture workbook named " + fileName);
}

std::vector<std::filesystem::path> writeAllFixtures(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& fixture : kFixtures) {
        files.push_back(writeFixture(fixture.fileName, folder));
    }
    return files;
}

} // namespace quillory::testing

#endif // QUILLORY_HAVE_XLSXWRITER
