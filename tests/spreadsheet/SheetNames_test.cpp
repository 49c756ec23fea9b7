#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "support/ExpectFailure.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>

namespace quillory::spreadsheet::ooxml {
namespace {

using namespace std::string_literals;

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
         {"Sheet1"s, "My Sheet"s, "Données"s, "It's"s, "(2)"s, Repeat("x", 31), Repeat("é", 31),
          Repeat(kEmoji, 15) + "x", "Historyx"s}) {
        EXPECT_TRUE(IsValidSheetName(name)) << name;
        EXPECT_FALSE(SheetNameProblem(name).has_value()) << name;
    }
    for (const std::string& name :
         {""s, Repeat("x", 32), Repeat(kEmoji, 16), "a[b"s, "a]b"s, "a:b"s, "a*b"s, "a?b"s, "a/b"s,
          "a\\b"s, "'x"s, "x'"s, "History"s, "hISTORY"s, "a\tb"s, "a\nb"s, "\xff"s, "\xC3"s}) {
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

// The name a copy of `wanted` gets when these names (in any case) are taken.
std::string UniqueAmong(const std::string& wanted, const std::vector<std::string>& taken) {
    return UniqueSheetName(wanted, [&](std::string_view name) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const std::string& other) { return SheetNamesEqual(other, name); });
    });
}

TEST(SheetNames, UniqueNameCountsUpCutsTheBaseToFitOrGivesUp) {
    EXPECT_EQ(UniqueAmong("Data", {}), "Data");
    EXPECT_EQ(UniqueAmong("Data", {"data"}), "Data (2)");
    EXPECT_EQ(UniqueAmong("Data", {"Data", "DATA (2)", "Data (3)"}), "Data (4)");
    EXPECT_EQ(UniqueAmong("Data (2)", {"Data (2)"}), "Data (3)");
    EXPECT_EQ(UniqueAmong("Data (1)", {"Data (1)"}), "Data (2)");
    EXPECT_EQ(UniqueAmong("Data (02)", {"Data (02)"}), "Data (02) (2)");
    EXPECT_EQ(UniqueAmong("History", {}), "History (2)");
    EXPECT_EQ(UniqueAmong("a/b:c", {}), "a_b_c");
    EXPECT_EQ(UniqueAmong("''", {}), "Sheet");
    EXPECT_EQ(UniqueAmong(Repeat("x", 40), {}), Repeat("x", 31));
    EXPECT_EQ(UniqueAmong(Repeat("x", 31), {Repeat("x", 31)}), Repeat("x", 27) + " (2)");
    EXPECT_EQ(UniqueAmong(Repeat("é", 31), {Repeat("é", 31)}), Repeat("é", 27) + " (2)");
    // 15 emoji and one letter fill 31 units; a cut may not leave half of a surrogate pair.
    EXPECT_EQ(UniqueAmong(Repeat(kEmoji, 15) + "x", {Repeat(kEmoji, 15) + "x"}),
              Repeat(kEmoji, 13) + " (2)");
    // Two-digit numbers take one more character from the base.
    std::vector<std::string> taken = {Repeat("x", 31)};
    for (int n = 2; n < 10; ++n) {
        taken.push_back(Repeat("x", 27) + " (" + std::to_string(n) + ")");
    }
    EXPECT_EQ(UniqueAmong(Repeat("x", 31), taken), Repeat("x", 26) + " (10)");
    // With every name taken there is no copy to name.
    testing::ExpectFailure([] { UniqueSheetName("Data", [](std::string_view) { return true; }); },
                           ErrorCode::LimitExceeded, {"Data"});
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

} // namespace
} // namespace quillory::spreadsheet::ooxml
