#pragma once
// The bodies of the libFuzzer targets, shared by the fuzzers and by the regression test that
// replays every saved finding. A target returns normally for any input the engine handles
// soundly (a SpreadsheetError is a sound refusal); a broken property throws FuzzFinding.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillory::fuzz {

struct FuzzFinding : std::logic_error {
    using std::logic_error::logic_error;
};

// Arbitrary bytes opened as a package; every worksheet copied into a new workbook.
void FuzzOpenWorkbook(std::string_view input);

// A workbook given as framed parts (see ZipParts), merged sheet by sheet with the fixed workbook
// of fuzz/fixed-workbook.parts. Whatever the parts hold, the result must reopen with every sheet
// and pass the structural checker of the tests.
void FuzzPartsWorkbook(std::string_view input);

// A formula tokenized (spans in order and within the text) and rewritten with every name
// mapped to itself, which must give back the same text.
void FuzzFormula(std::string_view input);

// Arbitrary bytes read by the purpose-built XML scanner, in chunks of a size taken from the
// first byte, must give expat's events or expat's refusal. Element and attribute names outside
// ASCII are the one place where the two may differ (the scanner follows the current XML name
// rules, expat an older table), so a document with bytes above 0x7F is held only to not crashing.
void FuzzXmlScanner(std::string_view input);

// Parts framed as text: each part starts with a line "@@ name", its bytes run up to the newline
// before the next such line. Returns a zip package of those parts, stored uncompressed.
std::string ZipParts(std::string_view framed);

} // namespace quillory::fuzz
