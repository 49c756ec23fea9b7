#pragma once
// The one check of a failure: the action throws the spreadsheet error of that code, and its
// description names every fragment (the file, the part, the record).

#include "spreadsheet/SpreadsheetError.h"

#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string_view>

namespace quillory::testing {

inline void ExpectFailure(const std::function<void()>& action, spreadsheet::ErrorCode code,
                          std::initializer_list<std::string_view> fragments = {}) {
    try {
        action();
        ADD_FAILURE() << "no failure, expected error " << static_cast<int>(code);
    } catch (const spreadsheet::SpreadsheetError& error) {
        EXPECT_EQ(error.code(), code) << error.description();
        for (const std::string_view fragment : fragments) {
            EXPECT_NE(error.description().find(fragment), std::string::npos)
                << "'" << fragment << "' not in: " << error.description();
        }
    }
}

} // namespace quillory::testing
