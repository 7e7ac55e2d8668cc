#include "plugin/guarded_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(GuardedText, AnUntouchedBufferReadsEmptyAndFits) {
    GuardedText buffer;
    EXPECT_EQ(buffer.text(), "");
    EXPECT_EQ(buffer.bytesWritten(), 0u);
    EXPECT_TRUE(buffer.fitsWithin(8));
}

TEST(GuardedText, ATextOfExactlyTheLimitFits) {
    GuardedText buffer;
    std::strcpy(buffer.data(), "Mix.Dist");  // 8 characters and the terminator
    EXPECT_EQ(buffer.text(), "Mix.Dist");
    EXPECT_EQ(buffer.bytesWritten(), 9u);
    EXPECT_TRUE(buffer.fitsWithin(8));
}

TEST(GuardedText, OneCharacterTooManyIsAnOverrun) {
    GuardedText buffer;
    std::strcpy(buffer.data(), "Mult.Dist");
    EXPECT_EQ(buffer.bytesWritten(), 10u);
    EXPECT_FALSE(buffer.fitsWithin(8));
}

TEST(GuardedText, ZeroPaddingBeyondTheLimitCountsAsWritten) {
    GuardedText buffer;
    std::memset(buffer.data(), 0, 24);
    std::memcpy(buffer.data(), "0.5", 3);
    EXPECT_EQ(buffer.text(), "0.5");
    EXPECT_EQ(buffer.bytesWritten(), 24u);
    EXPECT_FALSE(buffer.fitsWithin(8));
}

TEST(GuardedText, MissingTerminatorDoesNotFitAndIsReadOnlyAsFarAsWritten) {
    GuardedText buffer;
    std::memcpy(buffer.data(), "abc", 3);
    EXPECT_EQ(buffer.text(), "abc");
    EXPECT_FALSE(buffer.fitsWithin(8));
}

}  // namespace
