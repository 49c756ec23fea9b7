#include "spreadsheet/ooxml/formulas/Formula.h"

#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"
#include "spreadsheet/ooxml/formulas/PlainFormula.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"

#include <algorithm>

namespace quillory::spreadsheet::ooxml {
namespace {

// LET and LAMBDA parameters are written with this prefix; they are not workbook names.
constexpr std::string_view kLambdaParameterPrefix = "_xlpm.";
constexpr std::size_t kMaxExternalIndexDigits = 9;
// "[0]" is the workbook itself.
constexpr std::string_view kOwnWorkbook = "0";
// Functions whose text arguments often hold sheet names.
constexpr std::string_view kTextReferenceFunctions[] = {"INDIRECT", "HYPERLINK"};
constexpr std::string_view kFunctionPrefixes[] = {"_xlfn.", "_xlws."};

std::optional<int> ParseExternalIndex(std::string_view book) {
    if (book.empty() || book.size() > kMaxExternalIndexDigits ||
        !std::all_of(book.begin(), book.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoi(std::string(book));
}

std::string EscapeQuotes(std::string_view name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (char c : name) {
        if (c == '\'') {
            escaped += '\'';
        }
        escaped += c;
    }
    return escaped;
}

// "Data!", "'My Data'!", "Jan:Mar!", "'Jan 1:Mar 1'!"
std::string SheetQualifierText(std::string_view first, std::string_view last) {
    if (last.empty()) {
        return QuoteSheetNameIfNeeded(first) + "!";
    }
    const std::string quotedFirst = QuoteSheetNameIfNeeded(first);
    const std::string quotedLast = QuoteSheetNameIfNeeded(last);
    if (quotedFirst == first && quotedLast == last) {
        return quotedFirst + ":" + quotedLast + "!";
    }
    return "'" + EscapeQuotes(first) + ":" + EscapeQuotes(last) + "'!";
}

bool IsTextReferenceFunction(std::string_view name) {
    for (std::string_view prefix : kFunctionPrefixes) {
        if (name.size() > prefix.size() && SheetNamesEqual(name.substr(0, prefix.size()), prefix)) {
            name.remove_prefix(prefix.size());
        }
    }
    return std::any_of(std::begin(kTextReferenceFunctions), std::end(kTextReferenceFunctions),
                       [&](std::string_view function) { return SheetNamesEqual(name, function); });
}

bool IsLambdaParameter(std::string_view name) {
    return name.size() > kLambdaParameterPrefix.size() &&
           SheetNamesEqual(name.substr(0, kLambdaParameterPrefix.size()), kLambdaParameterPrefix);
}

template <typename T> void AddUnique(std::vector<T>& items, T item) {
    if (std::find(items.begin(), items.end(), item) == items.end()) {
        items.push_back(std::move(item));
    }
}

template <typename Result, typename Callback, typename Key>
std::optional<Result> Ask(const Callback& callback, const Key& key) {
    if (!callback) {
        return std::nullopt;
    }
    return callback(key);
}

class Rewriter {
public:
    Rewriter(std::string_view formula, const FormulaContext& context)
        : formula_(formula), context_(context) {}

    FormulaRewrite Run() {
        FormulaRewrite result;
        const FormulaTokens tokens = TokenizeFormula(formula_);
        if (!tokens.ok()) {
            result.text = std::string(formula_);
            result.computable = false;
            result.reason = "the formula could not be read (" + tokens.error + " at position " +
                            std::to_string(tokens.errorOffset + 1) + ")";
            return result;
        }
        for (const Token& token : tokens.tokens) {
            if (token.type == TokenType::Reference ||
                token.type == TokenType::StructuredReference) {
                RewriteReference(token);
            } else if (token.type == TokenType::Function &&
                       IsTextReferenceFunction(token.text(formula_))) {
                AddUnique(result.warnings, "uses " + std::string(token.text(formula_)) +
                                               "; sheet names inside its text are not updated");
            }
        }
        result.text = Assemble();
        result.changed = result.text != formula_;
        if (Utf16Length(result.text) > kMaxFormulaLength) {
            AddUnique(problems_, "the formula would be longer than " +
                                     std::to_string(kMaxFormulaLength) + " characters");
        }
        result.computable = problems_.empty();
        for (const std::string& problem : problems_) {
            result.reason += (result.reason.empty() ? "" : "; ") + problem;
        }
        return result;
    }

private:
    void Replace(std::size_t begin, std::size_t end, std::string text) {
        replacements_.push_back({begin, end, std::move(text)});
    }

    std::string Assemble() const {
        std::string text;
        text.reserve(formula_.size() + 16);
        std::size_t copied = 0;
        for (const Replacement& replacement : replacements_) {
            text.append(formula_.substr(copied, replacement.begin - copied));
            text += replacement.text;
            copied = replacement.end;
        }
        text.append(formula_.substr(copied));
        return text;
    }

    void RewriteReference(const Token& token) {
        const Qualifier& qualifier = token.qualifier;
        const bool ownWorkbook = qualifier.external && qualifier.book == kOwnWorkbook;
        if (qualifier.external && !ownWorkbook) {
            RewriteExternalBook(qualifier);
            return; // names inside another workbook are not ours to map
        }
        if (!qualifier.firstSheet.empty()) {
            RewriteSheets(qualifier);
            return; // a name after a sheet is local to that sheet and travels with it
        }
        if (token.type == TokenType::StructuredReference) {
            if (token.tableEnd > token.tableBegin) {
                RewriteTable(token);
            }
        } else if (token.referenceKind == ReferenceKind::Name) {
            RewriteName(token);
        }
    }

    void RewriteExternalBook(const Qualifier& qualifier) {
        const std::optional<int> index = ParseExternalIndex(qualifier.book);
        if (!index) {
            AddUnique(problems_, "it refers to another workbook (" + qualifier.book + ")");
            return;
        }
        const std::optional<int> mapped = Ask<int>(context_.externalLink, *index);
        if (!mapped) {
            AddUnique(problems_, "it refers to another workbook (external link [" + qualifier.book +
                                     "]) that is not carried over");
        } else if (*mapped != *index) {
            Replace(qualifier.bookBegin, qualifier.bookEnd, std::to_string(*mapped));
        }
    }

    void RewriteSheets(const Qualifier& qualifier) {
        const std::optional<std::string> first =
            Ask<std::string>(context_.sheet, qualifier.firstSheet);
        if (!first) {
            AddUnique(problems_, "it refers to the sheet '" + qualifier.firstSheet +
                                     "', which is not in the merged workbook");
        }
        if (qualifier.lastSheet.empty()) {
            if (first && !SheetNamesEqual(*first, qualifier.firstSheet)) {
                Replace(qualifier.begin, qualifier.end, SheetQualifierText(*first, {}));
            }
            return;
        }
        const std::optional<std::string> last =
            Ask<std::string>(context_.sheet, qualifier.lastSheet);
        if (!last) {
            AddUnique(problems_, "it refers to the sheet '" + qualifier.lastSheet +
                                     "', which is not in the merged workbook");
        }
        if (!first || !last) {
            return;
        }
        if (!context_.sheetSpan || !context_.sheetSpan(qualifier.firstSheet, qualifier.lastSheet)) {
            AddUnique(problems_, "it refers to the sheets '" + qualifier.firstSheet + "' to '" +
                                     qualifier.lastSheet +
                                     "' together, which are not copied together in that order");
            return;
        }
        if (!SheetNamesEqual(*first, qualifier.firstSheet) ||
            !SheetNamesEqual(*last, qualifier.lastSheet)) {
            Replace(qualifier.begin, qualifier.end, SheetQualifierText(*first, *last));
        }
    }

    void RewriteTable(const Token& token) {
        const std::string_view written = token.table(formula_);
        const std::optional<std::string> mapped = Ask<std::string>(context_.table, written);
        if (!mapped) {
            AddUnique(problems_, "it refers to the table '" + std::string(written) +
                                     "', which is not in the merged workbook");
        } else if (!SheetNamesEqual(*mapped, written)) {
            Replace(token.tableBegin, token.tableEnd, *mapped);
        }
    }

    // An unqualified name is either a table used whole or a defined name (they share one
    // namespace in a workbook, so at most one of the two matches).
    void RewriteName(const Token& token) {
        const std::string_view written = token.body(formula_);
        if (IsLambdaParameter(written)) {
            return;
        }
        std::optional<std::string> mapped = Ask<std::string>(context_.table, written);
        if (!mapped) {
            mapped = Ask<std::string>(context_.definedName, written);
        }
        if (!mapped) {
            AddUnique(problems_, "it uses the name '" + std::string(written) +
                                     "', which is not in the merged workbook");
        } else if (!SheetNamesEqual(*mapped, written)) {
            Replace(token.bodyBegin, token.bodyEnd, *mapped);
        }
    }

    struct Replacement {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };

    std::string_view formula_;
    const FormulaContext& context_;
    std::vector<Replacement> replacements_; // in formula order, never overlapping
    std::vector<std::string> problems_;
};

} // namespace

FormulaRewrite RewriteFormula(std::string_view formula, const FormulaContext& context) {
    if (IsSelfContainedFormula(formula)) {
        FormulaRewrite unchanged;
        unchanged.text = std::string(formula);
        return unchanged;
    }
    return Rewriter(formula, context).Run();
}

FormulaReferences FindReferences(std::string_view formula) {
    FormulaReferences references;
    const FormulaTokens tokens = TokenizeFormula(formula);
    if (!tokens.ok()) {
        references.readable = false;
        return references;
    }
    for (const Token& token : tokens.tokens) {
        if (token.type != TokenType::Reference && token.type != TokenType::StructuredReference) {
            continue;
        }
        const Qualifier& qualifier = token.qualifier;
        if (qualifier.external && qualifier.book != kOwnWorkbook) {
            if (const auto index = ParseExternalIndex(qualifier.book)) {
                AddUnique(references.externalLinks, *index);
            }
            continue;
        }
        if (!qualifier.firstSheet.empty()) {
            AddUnique(references.sheets, qualifier.firstSheet);
            if (!qualifier.lastSheet.empty()) {
                AddUnique(references.sheets, qualifier.lastSheet);
            }
            continue;
        }
        if (token.type == TokenType::StructuredReference && token.tableEnd > token.tableBegin) {
            AddUnique(references.tables, std::string(token.table(formula)));
        } else if (token.type == TokenType::Reference &&
                   token.referenceKind == ReferenceKind::Name &&
                   !IsLambdaParameter(token.body(formula))) {
            AddUnique(references.names, std::string(token.body(formula)));
        }
    }
    return references;
}

} // namespace quillory::spreadsheet::ooxml
