#include "FuzzTargets.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/WorkbookWriter.h"
#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "support/PackageChecker.h"
#include "support/XmlEvents.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <utility>
#include <vector>
#include <zlib.h>

namespace quillory::fuzz {

using namespace spreadsheet;

namespace {

using Parts = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kPartMarker = "@@ ";

Parts SplitParts(std::string_view framed) {
    Parts parts;
    std::size_t at = framed.starts_with(kPartMarker) ? 0 : framed.find("\n@@ ");
    while (at != std::string_view::npos) {
        const std::size_t nameBegin = at + (framed[at] == '\n' ? 1 : 0) + kPartMarker.size();
        const std::size_t nameEnd = std::min(framed.find('\n', nameBegin), framed.size());
        const std::size_t next = framed.find("\n@@ ", nameEnd);
        const std::size_t bytesBegin = std::min(nameEnd + 1, framed.size());
        const std::size_t bytesEnd = next == std::string_view::npos ? framed.size() : next;
        parts.emplace_back(framed.substr(nameBegin, nameEnd - nameBegin),
                           framed.substr(bytesBegin, std::max(bytesBegin, bytesEnd) - bytesBegin));
        at = next;
    }
    return parts;
}

void Put(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// A zip archive of stored entries: no deflate stream for a mutation to break.
std::string StoredZip(const Parts& parts) {
    std::string zip;
    std::string directory;
    for (const auto& [name, bytes] : parts) {
        const auto crc = static_cast<std::uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        const auto size = static_cast<std::uint32_t>(bytes.size());
        const auto offset = static_cast<std::uint32_t>(zip.size());
        const auto nameSize = static_cast<std::uint32_t>(name.size());
        // version 20, no flags, stored, 1980-01-01 00:00, crc, sizes, name length, no extra
        const auto header = [&](std::string& out) {
            Put(out, 20, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0x21, 2);
            Put(out, crc, 4), Put(out, size, 4), Put(out, size, 4), Put(out, nameSize, 2);
            Put(out, 0, 2);
        };
        Put(zip, 0x04034b50, 4), header(zip), zip += name, zip += bytes;
        Put(directory, 0x02014b50, 4), Put(directory, 20, 2), header(directory);
        Put(directory, 0, 2), Put(directory, 0, 2), Put(directory, 0, 2), Put(directory, 0, 4);
        Put(directory, offset, 4), directory += name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip += directory;
    Put(zip, 0x06054b50, 4), Put(zip, 0, 2), Put(zip, 0, 2);
    Put(zip, static_cast<std::uint32_t>(parts.size()), 2);
    Put(zip, static_cast<std::uint32_t>(parts.size()), 2);
    Put(zip, static_cast<std::uint32_t>(directory.size()), 4), Put(zip, directoryOffset, 4);
    Put(zip, 0, 2);
    return zip;
}

// The second workbook of every merge: its own theme, standard font, styles and sheet names
// (one of which most inputs also use), so that merging has differences to reconcile.
std::shared_ptr<const ooxml::SourcePackage> FixedWorkbook() {
    static const auto fixed = [] {
        std::ifstream file(QUILLORY_FUZZ_DIR "/fixed-workbook.parts", std::ios::binary);
        std::stringstream framed;
        framed << file.rdbuf();
        return ooxml::SourcePackage::OpenBytes(ZipParts(framed.str()), "fixed.xlsx");
    }();
    return fixed;
}

// Sheets are named as a merge names its copies: their own name, or "Name (2)", ... when taken,
// so that formulas pointing at renamed sheets are rewritten.
void AddSheets(ooxml::WorkbookPlan& plan, std::set<std::string>& taken,
               const std::shared_ptr<const ooxml::SourcePackage>& package) {
    const auto& sheets = package->sheets();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].kind != SheetKind::Worksheet) {
            continue;
        }
        const std::string name =
            ooxml::UniqueSheetName(sheets[i].name, [&](std::string_view candidate) {
                return taken.count(ooxml::SheetNameKey(candidate)) != 0;
            });
        taken.insert(ooxml::SheetNameKey(name));
        plan.sheets.push_back({name, sheets[i].visibility, package, static_cast<int>(i)});
    }
}

void RequireSoundRefusal(const SpreadsheetError& error) {
    if (error.code() == ErrorCode::Internal) {
        throw FuzzFinding(std::string("internal error: ") + error.what());
    }
}

} // namespace

void FuzzXmlScanner(std::string_view input) {
    if (input.empty()) {
        return;
    }
    const std::string_view xml = input.substr(1);
    const auto chunk = static_cast<std::size_t>(static_cast<unsigned char>(input[0]) % 64);
    const std::string scanned = testing::RecordXmlEvents(xml, ooxml::XmlBackend::Scanner, chunk);
    if (!std::all_of(xml.begin(), xml.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return;
    }
    const std::string expected = testing::RecordXmlEvents(xml, ooxml::XmlBackend::Expat);
    // A document type declaration cut short or malformed is refused by both, but expat may call
    // it malformed where the scanner already refused the declaration, or the reverse.
    const bool bothRefusedDoctype = xml.find("DOCTYPE") != std::string_view::npos &&
                                    scanned.starts_with("refused") &&
                                    expected.starts_with("refused");
    if (scanned != expected && !bothRefusedDoctype) {
        throw FuzzFinding("scanner: " + scanned + "\nexpat:   " + expected);
    }
}

std::string ZipParts(std::string_view framed) {
    return StoredZip(SplitParts(framed));
}

void FuzzOpenWorkbook(std::string_view input) {
    try {
        const auto package = ooxml::SourcePackage::OpenBytes(std::string(input), "fuzz.xlsx");
        ooxml::WorkbookPlan plan;
        std::set<std::string> taken;
        AddSheets(plan, taken, package);
        if (!plan.sheets.empty()) {
            ooxml::MemorySink sink;
            MergeReport report;
            ooxml::WriteWorkbook(plan, sink, report);
        }
    } catch (const SpreadsheetError& error) {
        RequireSoundRefusal(error);
    }
}

void FuzzPartsWorkbook(std::string_view input) {
    const std::string zipped = ZipParts(input);
    const auto fixed = FixedWorkbook(); // outside the try: its failure is no refusal
    ooxml::MemorySink sink;
    ooxml::WorkbookPlan plan;
    try {
        const auto fuzzed = ooxml::SourcePackage::OpenBytes(zipped, "fuzz.xlsx");
        std::set<std::string> taken;
        // Which workbook comes first decides whose theme and standard font the result keeps.
        const bool fixedFirst = input.size() % 2 == 0;
        AddSheets(plan, taken, fixedFirst ? fixed : fuzzed);
        AddSheets(plan, taken, fixedFirst ? fuzzed : fixed);
        MergeReport report;
        ooxml::WriteWorkbook(plan, sink, report);
    } catch (const SpreadsheetError& error) {
        RequireSoundRefusal(error);
        return;
    }
    try {
        if (ooxml::SourcePackage::OpenBytes(sink.bytes(), "result.xlsx")->sheets().size() !=
            plan.sheets.size()) {
            throw FuzzFinding("the result does not hold every planned sheet");
        }
    } catch (const SpreadsheetError& error) {
        throw FuzzFinding(std::string("the result does not reopen: ") + error.what());
    }
    const auto problems = testing::checkPackage(testing::PackageEntries::readBytes(sink.bytes()));
    // Strict (fuzz-long, the regression fixtures): whatever the input, the result is sound.
    // Otherwise (the bounded run of make test) a sound input must give a sound result, so that
    // a new kind of damage the copy does not yet clean is a finding of the long runs instead of
    // failing every build.
    if (!problems.empty() &&
        (std::getenv("QUILLORY_FUZZ_STRICT") != nullptr ||
         testing::checkPackage(testing::PackageEntries::readBytes(zipped)).empty())) {
        std::string text = "the result does not pass the structural checker:";
        for (const auto& problem : problems) {
            text += "\n  " + problem;
        }
        throw FuzzFinding(text);
    }
}

void FuzzFormula(std::string_view formula) {
    const auto tokens = ooxml::TokenizeFormula(formula);
    std::size_t end = 0;
    for (const auto& token : tokens.tokens) {
        if (token.begin < end || token.end < token.begin || token.end > formula.size() ||
            (tokens.ok() && token.begin != end)) {
            throw FuzzFinding("token spans out of order or outside the formula");
        }
        end = token.end;
    }
    if (tokens.ok() && end != formula.size()) {
        throw FuzzFinding("the tokens do not cover the formula");
    }
    ooxml::FormulaContext same;
    const auto sameName = [](std::string_view name) { return std::optional(std::string(name)); };
    same.sheet = sameName;
    same.table = sameName;
    same.definedName = sameName;
    same.externalLink = [](int index) { return std::optional(index); };
    same.sheetSpan = [](std::string_view, std::string_view) { return true; };
    same.currentSheet = "Sheet1";
    const auto rewrite = ooxml::RewriteFormula(formula, same);
    if (rewrite.text != formula || rewrite.changed) {
        throw FuzzFinding("rewriting with every name kept changed the formula to: " + rewrite.text);
    }
    ooxml::FindReferences(formula);
}

} // namespace quillory::fuzz
