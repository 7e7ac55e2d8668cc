// The bounded text routines every text handed to a host goes through.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_effects.h"
#include "text.h"

namespace {

constexpr std::size_t kGuard = 16;

// A destination of maxLen + 1 bytes followed by guard bytes.
struct GuardedText {
    explicit GuardedText(std::size_t maxLen) : maxLen(maxLen), bytes(maxLen + 1 + kGuard, '\x5A') {}
    char* data() { return bytes.data(); }
    bool guardIntact() const {
        for (std::size_t i = maxLen + 1; i < bytes.size(); ++i) {
            if (bytes[i] != '\x5A') {
                return false;
            }
        }
        return true;
    }
    std::size_t maxLen;
    std::vector<char> bytes;
};

TEST(CopyText, PadsWithZerosUpToTheLimitAndTerminatesAtIt) {
    GuardedText text(8);
    EXPECT_EQ(copyText(text.data(), "abc", 8), text.data());
    const std::vector<char> written(text.bytes.begin(), text.bytes.begin() + 9);
    EXPECT_EQ(written, (std::vector<char>{'a', 'b', 'c', 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(text.guardIntact());
}

TEST(CopyText, CutsALongerSourceAtTheLimit) {
    GuardedText text(8);
    copyText(text.data(), "Distortion", 8);
    EXPECT_EQ(std::string(text.data()), "Distorti");
    EXPECT_TRUE(text.guardIntact());
}

TEST(CopyText, NeverWritesPastTheLimitForAnyLimitAndSource) {
    for (const char* source : {"", "a", "abcdefgh", "a text longer than most limits here"}) {
        for (std::size_t maxLen = 0; maxLen <= 40; ++maxLen) {
            SCOPED_TRACE(::testing::Message() << "source \"" << source << "\", maxLen " << maxLen);
            GuardedText text(maxLen);
            copyText(text.data(), source, maxLen);
            EXPECT_TRUE(text.guardIntact());
            EXPECT_EQ(text.bytes[maxLen], 0);
            EXPECT_EQ(std::string(text.data()), std::string(source).substr(0, maxLen));
            for (std::size_t i = std::string(text.data()).size(); i <= maxLen; ++i) {
                ASSERT_EQ(text.bytes[i], 0) << "byte " << i;
            }
        }
    }
}

TEST(AppendText, AddsAfterTheTextAlreadyThereUpToTheLimit) {
    struct Case {
        const char* start;
        const char* added;
        std::size_t maxLen;
        const char* result;
    };
    const Case cases[] = {
        {"1.", "500000", 24, "1.500000"}, {"1.", "500000", 4, "1.50"}, {"", "abc", 2, "ab"},
        {"abcd", "ef", 4, "abcd"},        {"ab", "", 8, "ab"},         {"", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "\"" << c.start << "\" + \"" << c.added << "\", maxLen " << c.maxLen);
        GuardedText text(c.maxLen);
        copyText(text.data(), c.start, c.maxLen);
        EXPECT_EQ(appendText(text.data(), c.added, c.maxLen), text.data());
        EXPECT_EQ(std::string(text.data()), c.result);
        EXPECT_TRUE(text.guardIntact());
    }
}

TEST(AppendText, NeverWritesPastTheLimitEvenWhenTheDestinationIsFull) {
    for (std::size_t maxLen = 0; maxLen <= 20; ++maxLen) {
        SCOPED_TRACE(::testing::Message() << "maxLen " << maxLen);
        GuardedText text(maxLen);
        // maxLen characters and no terminator inside the limit.
        for (std::size_t i = 0; i <= maxLen; ++i) {
            text.bytes[i] = 'x';
        }
        appendText(text.data(), "more text", maxLen);
        EXPECT_TRUE(text.guardIntact());
        EXPECT_EQ(text.bytes[maxLen], 0);
        EXPECT_EQ(std::string(text.data()), std::string(maxLen, 'x'));
    }
}

}  // namespace
