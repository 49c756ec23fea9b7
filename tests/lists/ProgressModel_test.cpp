#include "lists/ProgressModel.h"

#include <gtest/gtest.h>

TEST(ProgressModel, StartsAtZeroOutOfHundredAndTellsTheViewOfEveryChange) {
    quillory::lists::ProgressModel bar;
    EXPECT_EQ(bar.max(), 100);
    EXPECT_EQ(bar.value(), 0);
    int changes = 0;
    bar.onChanged = [&] { ++changes; };
    bar.setMax(10);
    bar.setValue(3);
    EXPECT_EQ(bar.max(), 10);
    EXPECT_EQ(bar.value(), 3);
    EXPECT_EQ(changes, 2);
}
