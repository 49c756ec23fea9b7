#pragma once
// What a list model holds, as plain values a test can compare in one assertion.

#include "lists/ListModel.h"

#include <string>
#include <vector>

namespace quillory::testing {

// The text of every row, in order.
inline std::vector<std::string> RowTexts(const lists::ListModel& list) {
    std::vector<std::string> texts;
    for (int i = 1; i <= list.count(); ++i) {
        texts.push_back(list.text(i));
    }
    return texts;
}

// The small icon of every row, in order.
inline std::vector<int> RowIcons(const lists::ListModel& list) {
    std::vector<int> icons;
    for (int i = 1; i <= list.count(); ++i) {
        icons.push_back(list.smallIcon(i));
    }
    return icons;
}

// "text|sub-item" of every row, with the check box as "|x" or "|-" when asked for.
inline std::vector<std::string> RowEntries(const lists::ListModel& list, bool withCheck = false) {
    std::vector<std::string> entries;
    for (int i = 1; i <= list.count(); ++i) {
        std::string entry = list.text(i) + "|" + list.subItem1(i);
        if (withCheck) {
            entry += list.checked(i) ? "|x" : "|-";
        }
        entries.push_back(entry);
    }
    return entries;
}

} // namespace quillory::testing
