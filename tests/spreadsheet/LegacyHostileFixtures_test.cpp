// The hostile legacy files kept in tests/fixtures/legacy: asking to convert each ends in its own
// description naming the file; no converter is started for them and nothing is left in the
// temporary folder.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace quillory::spreadsheet::legacy {
namespace {

namespace fs = std::filesystem;

struct HostileFile {
    const char* name;
    ErrorCode code;
    const char* words;
};

const HostileFile kHostileFiles[] = {
    {"truncated-compound-file.xls", ErrorCode::TruncatedPackage, "cut short"},
    {"sheet-record-outside-stream.xls", ErrorCode::DamagedLegacyWorkbook, "points outside"},
    {"looping-fat-chain.xls", ErrorCode::DamagedLegacyWorkbook, "loops"},
    {"encrypted-filepass.xls", ErrorCode::PasswordProtected, "password"},
    {"excel4-biff4.xls", ErrorCode::LegacyVersionUnsupported, "Excel 4.0"},
    {"html-saved-as.xls", ErrorCode::TextNotWorkbook, "web page"},
    {"csv-saved-as.xls", ErrorCode::TextNotWorkbook, "text file"},
};

const fs::path kFixtures = fs::path(QUILLORY_SOURCE_DIR) / "tests" / "fixtures" / "legacy";

void expectDescribed(const SpreadsheetError& error, const HostileFile& file) {
    EXPECT_EQ(error.code(), file.code) << error.description();
    EXPECT_NE(error.description().find(std::string("\"") + file.name + "\""), std::string::npos)
        << error.description();
    EXPECT_NE(error.description().find(file.words), std::string::npos) << error.description();
}

// Converting looks into each file first: the listing's description is the one the user sees.
TEST(LegacyHostileFixtures, ConvertingRefusesEachBeforeStartingTheConverter) {
    testing::TempDir temporaryRoot;
    testing::TempDir tools;
    const fs::path marker = tools / "converter-ran";
    const fs::path program = tools.write("soffice", "#!/bin/sh\ntouch '" + marker.string() + "'\n");
    fs::permissions(program, fs::perms::owner_all);
    {
        LegacyConverter converter(ConverterOptions{program, {}, temporaryRoot.path()});
        for (const HostileFile& file : kHostileFiles) {
            SCOPED_TRACE(file.name);
            try {
                converter.Convert(kFixtures / file.name);
                ADD_FAILURE() << "converted";
            } catch (const SpreadsheetError& error) {
                expectDescribed(error, file);
            }
        }
    }
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
}

} // namespace
} // namespace quillory::spreadsheet::legacy
