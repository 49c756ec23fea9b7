#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "support/ExpectFailure.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

namespace quillory::spreadsheet::ooxml {
namespace {

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

const std::string kEmoji = "\xF0\x9F\x98\x80"; // outside the BMP: two UTF-16 units

TEST(SheetNames, ValidityFollowsTheFormatRules) {
    for (const std::string& name :
         {std::string("Sheet1"), std::string("My Sheet"), std::string("Données"),
          std::string("It's"), std::string("(2)"), Repeat("x", 31), Repeat("é", 31),
          Repeat(kEmoji, 15) + "x", std::string("Historyx")}) {
        EXPECT_TRUE(IsValidSheetName(name)) << name;
        EXPECT_FALSE(SheetNameProblem(name).has_value()) << name;
    }
    for (const std::string& name :
         {std::string(""), Repeat("x", 32), Repeat(kEmoji, 16), std::string("a[b"),
          std::string("a]b"), std::string("a:b"), std::string("a*b"), std::string("a?b"),
          std::string("a/b"), std::string("a\\b"), std::string("'x"), std::string("x'"),
          std::string("History"), std::string("hISTORY"), std::string("a\tb"), std::string("a\nb"),
          std::string("\xff"), std::string("\xC3")}) {
        EXPECT_FALSE(IsValidSheetName(name)) << name;
        const std::optional<std::string> problem = SheetNameProblem(name);
        ASSERT_TRUE(problem.has_value()) << name;
        EXPECT_FALSE(problem->empty());
    }
    EXPECT_NE(SheetNameProblem(Repeat("x", 32))->find("31"), std::string::npos);
}

TEST(SheetNames, ComparisonIgnoresCaseAcrossScripts) {
    const std::pair<std::string, std::string> equal[] = {
        {"Sheet1", "SHEET1"}, {"données", "DONNÉES"},
        {"Łódź", "ŁÓDŹ"},     {"Ÿes", "ÿES"},
        {"ΟΔΟΣ", "οδος"},     {"οδος", "ΟΔΟΣ"},
        {"Ёлка", "ёлка"},     {"ЛИСТ", "лист"},
        {"ǅ", "ǆ"},           {"Ｑ", "ｑ"},
        {"ẞ", "ß"},           {"Ԁ", "ԁ"},
        {"Ά", "ά"},           {"", ""},
    };
    for (const auto& [a, b] : equal) {
        EXPECT_TRUE(SheetNamesEqual(a, b)) << a << " / " << b;
        EXPECT_EQ(SheetNameKey(a), SheetNameKey(b)) << a << " / " << b;
    }
    const std::pair<std::string, std::string> different[] = {
        {"Sheet", "Sheet1"}, {"Sheet1", "Sheet 1"}, {"Straße", "STRASSE"},
        {"ı", "I"},          {"\xff", "\xfe"},      {"а", "a"}, // Cyrillic a, Latin a
        {"×", "÷"},
    };
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(SheetNamesEqual(a, b)) << a << " / " << b;
        EXPECT_NE(SheetNameKey(a), SheetNameKey(b)) << a << " / " << b;
    }
}

TEST(SheetNames, UniqueNameCountsUpFromTwoOrFromAnExistingSuffix) {
    std::set<std::string> taken;
    const auto isTaken = [&](std::string_view name) {
        for (const std::string& existing : taken) {
            if (SheetNamesEqual(existing, name)) {
                return true;
            }
        }
        return false;
    };
    EXPECT_EQ(UniqueSheetName("Data", isTaken), "Data");
    taken = {"data"};
    EXPECT_EQ(UniqueSheetName("Data", isTaken), "Data (2)");
    taken = {"Data", "DATA (2)", "Data (3)"};
    EXPECT_EQ(UniqueSheetName("Data", isTaken), "Data (4)");
    taken = {"Data (2)"};
    EXPECT_EQ(UniqueSheetName("Data (2)", isTaken), "Data (3)");
    taken = {"Data (1)"};
    EXPECT_EQ(UniqueSheetName("Data (1)", isTaken), "Data (2)");
    taken = {"Data (02)"};
    EXPECT_EQ(UniqueSheetName("Data (02)", isTaken), "Data (02) (2)");
    taken = {};
    EXPECT_EQ(UniqueSheetName("History", isTaken), "History (2)");
    EXPECT_EQ(UniqueSheetName("a/b:c", isTaken), "a_b_c");
    EXPECT_EQ(UniqueSheetName("''", isTaken), "Sheet");
    EXPECT_EQ(UniqueSheetName(Repeat("x", 40), isTaken), Repeat("x", 31));
}

TEST(SheetNames, UniqueNameCutsTheBaseToFitWithoutSplittingCharacters) {
    const std::string longName = Repeat("x", 31);
    EXPECT_EQ(UniqueSheetName(longName, [&](std::string_view n) { return n == longName; }),
              Repeat("x", 27) + " (2)");
    // Two-digit numbers take one more character from the base.
    EXPECT_EQ(UniqueSheetName(longName,
                              [&](std::string_view n) {
                                  return n == longName || n.find(" (10)") == std::string_view::npos;
                              }),
              Repeat("x", 26) + " (10)");
    const std::string accented = Repeat("é", 31);
    EXPECT_EQ(UniqueSheetName(accented, [&](std::string_view n) { return n == accented; }),
              Repeat("é", 27) + " (2)");
    // 15 emoji and one letter fill 31 units; a cut may not leave half of a surrogate pair.
    const std::string emoji = Repeat(kEmoji, 15) + "x";
    const std::string copy = UniqueSheetName(emoji, [&](std::string_view n) { return n == emoji; });
    EXPECT_EQ(copy, Repeat(kEmoji, 13) + " (2)");
    EXPECT_TRUE(IsValidSheetName(copy));
}

TEST(SheetNames, UniqueNameIsAlwaysValidAndFree) {
    std::mt19937 random(7);
    const std::string pieces[] = {"a", "Z", " ", "'",    "[",  ":",       "é",    kEmoji,
                                  "(", ")", "2", "\xff", "\t", "History", "x (3)"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int i = 0; i < 2000; ++i) {
        std::string wanted;
        for (int j = length(random); j > 0; --j) {
            wanted += pieces[pick(random)];
        }
        std::set<std::string> taken;
        for (int copies = 0; copies < 4; ++copies) {
            const std::string name = UniqueSheetName(
                wanted, [&](std::string_view n) { return taken.contains(SheetNameKey(n)); });
            ASSERT_TRUE(IsValidSheetName(name)) << "wanted '" << wanted << "' got '" << name << "'";
            ASSERT_TRUE(taken.insert(SheetNameKey(name)).second) << name;
        }
    }
}

TEST(SheetNames, UniqueNameGivesUpWithAnError) {
    testing::ExpectFailure([] { UniqueSheetName("Data", [](std::string_view) { return true; }); },
                           ErrorCode::LimitExceeded, {"Data"});
}

TEST(SheetNames, QuotingForFormulas) {
    for (const std::string name : {"Sheet1", "Data", "Sheet_1.2", "ABCD1", "RCX"}) {
        EXPECT_EQ(QuoteSheetNameIfNeeded(name), name);
    }
    // Names that look like cells or R1C1 references, numbers, booleans, and any other character.
    for (const std::string name :
         {"My Sheet", "A1", "Exp1", "xfd1048576", "R1C1", "R", "rc", "C12", "R2C", "2024", ".x",
          "TRUE", "false", "Données", "a-b", "x(1)", "Data (2)", ""}) {
        EXPECT_EQ(QuoteSheetNameIfNeeded(name), "'" + name + "'");
    }
    EXPECT_EQ(QuoteSheetNameIfNeeded("It's"), "'It''s'");
}

} // namespace
} // namespace quillory::spreadsheet::ooxml
