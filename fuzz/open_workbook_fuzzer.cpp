// libFuzzer target: arbitrary bytes opened as a workbook package, listed, and every worksheet
// copied into a new workbook written to memory. Any failure must be a SpreadsheetError; a crash,
// a hang or another exception is a finding.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/WorkbookWriter.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillory::spreadsheet;
    try {
        const auto package = ooxml::SourcePackage::OpenBytes(
            std::string(reinterpret_cast<const char*>(data), size), "fuzz.xlsx");
        ooxml::WorkbookPlan plan;
        const auto& sheets = package->sheets();
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            if (sheets[i].kind == SheetKind::Worksheet) {
                plan.sheets.push_back(
                    {"S" + std::to_string(i), sheets[i].visibility, package, static_cast<int>(i)});
            }
        }
        if (!plan.sheets.empty()) {
            ooxml::MemorySink sink;
            MergeReport report;
            ooxml::WriteWorkbook(plan, sink, report);
        }
    } catch (const SpreadsheetError&) {
        // A clear refusal is the right outcome for most inputs.
    }
    return 0;
}
