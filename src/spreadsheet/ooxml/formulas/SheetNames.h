#pragma once
// Rules for worksheet names: what the file format accepts, how names compare (case-insensitive),
// how a copy gets a free name ("Name (2)") and how a name is written inside a formula.
//
// Lengths are counted in UTF-16 code units, as the format stores strings; input is UTF-8.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::size_t kMaxSheetNameLength = 31;
// Sheets of a workbook, counted generously: a copy's name search gives up after this many tries.
inline constexpr int kMaxDuplicateNameAttempts = 100000;

// Length 1..31, valid UTF-8, none of []:*?/\ nor control characters, no leading or trailing
// apostrophe, and not the reserved name "History".
bool IsValidSheetName(std::string_view name);
// Why a name is not valid, in words for an error message; nullopt when it is valid.
std::optional<std::string> SheetNameProblem(std::string_view name);

// Case-insensitive comparison with simple Unicode case folding for ASCII, Latin-1, Latin
// Extended-A, the regular pairs of Latin Extended-B, Latin Extended Additional, Greek, Cyrillic,
// Armenian, Georgian, Roman numerals, circled and fullwidth Latin letters. Other scripts compare
// exactly.
bool SheetNamesEqual(std::string_view a, std::string_view b);
// The folded form used by SheetNamesEqual, as UTF-8: a key for maps of sheet names.
std::string SheetNameKey(std::string_view name);

// "Name" when free, else "Name (2)", "Name (3)", ... (an existing " (n)" suffix continues at
// n+1), with the base cut so that the whole stays within 31 UTF-16 units. Characters the format
// forbids become '_', so the result is always a valid name. Throws SpreadsheetError
// (LimitExceeded) when no free name is found.
std::string UniqueSheetName(std::string_view wanted,
                            const std::function<bool(std::string_view)>& taken);

// The name as written before '!' in a formula: bare when it is a plain word, else quoted with
// inner apostrophes doubled ('My Sheet', 'It''s', 'A1', 'R1C1', '2024', 'Données').
std::string QuoteSheetNameIfNeeded(std::string_view name);

// Length in UTF-16 code units of UTF-8 text (an invalid byte counts as one unit).
std::size_t Utf16Length(std::string_view utf8);

} // namespace quillory::spreadsheet::ooxml
