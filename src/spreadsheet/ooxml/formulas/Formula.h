#pragma once
// Rewriting formula text for a copied sheet: sheet, table, defined-name and external-link
// references are mapped to what they are called in the result; a formula that refers to
// something the result does not have is marked as not computable, so the caller keeps its
// cached value instead.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// Longest formula text a spreadsheet program accepts, in characters (UTF-16 units).
inline constexpr std::size_t kMaxFormulaLength = 8192;

struct FormulaContext {
    // Source sheet name (as written in the formula, case-insensitive) -> its name in the result,
    // or nullopt when that sheet is not in the result.
    std::function<std::optional<std::string>(std::string_view)> sheet;
    // Source table name -> result table name (nullopt: table not in the result).
    std::function<std::optional<std::string>(std::string_view)> table;
    // Workbook-level defined name usable in the result under this (possibly new) name, or nullopt.
    // Called for every name written without a sheet (a name local to the formula's own sheet
    // included: the callback resolves those too).
    std::function<std::optional<std::string>(std::string_view)> definedName;
    // Source external-link index [n] -> result index, or nullopt (then the formula cannot compute).
    std::function<std::optional<int>(int)> externalLink;
    // The sheet the formula lives on, in the result (for unqualified structured refs etc.).
    std::string currentSheet;
    // A 3-D reference First:Last!A1 (source names) keeps its meaning only when every sheet
    // between the two ends was copied, together and in the same order. Returns true when that
    // holds; when not set, every 3-D reference is treated as not computable.
    std::function<bool(std::string_view first, std::string_view last)> sheetSpan;
};

struct FormulaRewrite {
    std::string text;       // the rewritten formula (without leading '=')
    bool computable = true; // false: refers to something not in the result; keep the cached value
    std::string reason;     // why not computable, in words for the merge report
    bool changed = false;
    // Computes, but may not mean the same in the result: sheet names inside text given to
    // INDIRECT or HYPERLINK are not rewritten. In words for the merge report.
    std::vector<std::string> warnings;
};

// A missing callback in the context means "nothing of that kind is in the result". Text that
// cannot be read comes back unchanged, not computable, with the reason.
FormulaRewrite RewriteFormula(std::string_view formula, const FormulaContext& context);

// What a formula refers to, as written in the source: for planning a merge (which sheets,
// tables and names a copied sheet needs) before anything is rewritten.
struct FormulaReferences {
    bool readable = true;            // false: the text could not be tokenized
    std::vector<std::string> sheets; // every local sheet named, both ends of 3-D spans included
    std::vector<std::string> tables; // tables named by structured references
    std::vector<std::string> names;  // names written without a sheet (defined names or tables)
    std::vector<int> externalLinks;  // [n] indexes of other workbooks
};
FormulaReferences FindReferences(std::string_view formula);

} // namespace quillory::spreadsheet::ooxml
