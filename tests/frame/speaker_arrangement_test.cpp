// Building, copying and releasing speaker-arrangement blocks.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "test_effects.h"

namespace {

// A source speaker whose every field holds something recognisable.
void fillSpeaker(VstSpeakerProperties& speaker, int seed, const char* name) {
    std::memset(&speaker, 0x7E, sizeof(speaker));  // junk also behind the name
    speaker.azimuth = 0.5f * seed;
    speaker.elevation = -0.25f * seed;
    speaker.radius = 1.0f + seed;
    speaker.reserved = 3.0f * seed;
    std::memcpy(speaker.name, name, std::strlen(name) + 1);
    speaker.type = 100 + seed;
    for (std::size_t i = 0; i < sizeof(speaker.future); ++i) {
        speaker.future[i] = static_cast<char>(seed * 16 + i);
    }
}

std::size_t boundedLength(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

void expectCopied(const VstSpeakerProperties& copy, const VstSpeakerProperties& source) {
    EXPECT_EQ(copy.azimuth, source.azimuth);
    EXPECT_EQ(copy.elevation, source.elevation);
    EXPECT_EQ(copy.radius, source.radius);
    EXPECT_EQ(copy.reserved, source.reserved);
    EXPECT_EQ(copy.type, source.type);
    EXPECT_EQ(std::memcmp(copy.future, source.future, sizeof(copy.future)), 0);
    // At most 63 characters, zeros up to and including position 63.
    const std::size_t length = boundedLength(source.name, 63);
    EXPECT_EQ(std::memcmp(copy.name, source.name, length), 0);
    for (std::size_t i = length; i < sizeof(copy.name); ++i) {
        EXPECT_EQ(copy.name[i], 0) << "name byte " << i;
    }
}

TEST(SpeakerArrangements, MatchCopiesATwoChannelArrangementIntoA232ByteBlock) {
    VstSpeakerArrangement source;
    std::memset(&source, 0x33, sizeof(source));
    source.type = 1;  // stereo
    source.numChannels = 2;
    char longName[65];
    std::memset(longName, 'L', 64);
    longName[64] = 0;
    fillSpeaker(source.speakers[0], 1, "");
    std::memcpy(source.speakers[0].name, longName, 64);  // no terminator at all
    fillSpeaker(source.speakers[1], 2, "Right");

    PlainEffectX effect;
    VstSpeakerArrangement* slot = nullptr;
    ASSERT_TRUE(effect.matchArrangement(&slot, &source));
    ASSERT_NE(slot, nullptr);

    EXPECT_EQ(slot->type, 1);
    EXPECT_EQ(slot->numChannels, 2);
    expectCopied(slot->speakers[0], source.speakers[0]);
    expectCopied(slot->speakers[1], source.speakers[1]);
    EXPECT_EQ(std::string(slot->speakers[0].name), std::string(63, 'L'));
    EXPECT_EQ(std::string(slot->speakers[1].name), "Right");

    // All 232 bytes, byte for byte (a smaller block shows up under the
    // address sanitizer).
    VstSpeakerArrangement expected;
    static_assert(sizeof(expected) == 232);
    std::memcpy(&expected, &source, sizeof(expected));
    for (auto& speaker : expected.speakers) {
        const std::size_t length = boundedLength(speaker.name, 63);
        std::memset(speaker.name + length, 0, sizeof(speaker.name) - length);
    }
    EXPECT_EQ(std::memcmp(slot, &expected, sizeof(expected)), 0);

    EXPECT_TRUE(effect.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
}

TEST(SpeakerArrangements, MatchReleasesTheBlockItReplaces) {
    PlainEffectX effect;
    VstSpeakerArrangement* slot = nullptr;
    ASSERT_TRUE(effect.allocateArrangement(&slot, 6));
    VstSpeakerArrangement source{};
    source.numChannels = 1;
    fillSpeaker(source.speakers[0], 3, "Mono");
    ASSERT_TRUE(effect.matchArrangement(&slot, &source));
    EXPECT_EQ(slot->numChannels, 1);
    expectCopied(slot->speakers[0], source.speakers[0]);
    effect.deallocateArrangement(&slot);  // a leak of the six-channel block shows up under the sanitizer
}

TEST(SpeakerArrangements, AllocateGivesAZeroedBlockWithTheChannelCount) {
    PlainEffectX effect;
    VstSpeakerArrangement* slot = nullptr;
    for (VstInt32 channels : {0, 1, 2, 8}) {
        SCOPED_TRACE(::testing::Message() << channels << " channels");
        ASSERT_TRUE(effect.allocateArrangement(&slot, channels));  // releases the previous block
        ASSERT_NE(slot, nullptr);
        EXPECT_EQ(slot->type, 0);
        EXPECT_EQ(slot->numChannels, channels);
        const auto* bytes = reinterpret_cast<const unsigned char*>(slot->speakers);
        for (std::size_t i = 0; i < sizeof(VstSpeakerProperties) * channels; ++i) {
            ASSERT_EQ(bytes[i], 0) << "speaker byte " << i;
        }
    }
    EXPECT_TRUE(effect.deallocateArrangement(&slot));
    EXPECT_EQ(slot, nullptr);
    EXPECT_TRUE(effect.deallocateArrangement(&slot)) << "an empty slot is fine too";
}

TEST(SpeakerArrangements, AllocateRefusesAChannelCountWhoseSizeOverflowsAndLeavesTheSlotNull) {
    // 8 + 112 * n only overflows where sizes have 32 bits; on 64-bit builds
    // every count fits and a refusal would need a failing allocator.
    if (sizeof(std::size_t) > 4) {
        GTEST_SKIP() << "no 32-bit channel count overflows a " << sizeof(std::size_t) * 8 << "-bit size";
    }
    PlainEffectX effect;
    for (VstInt32 channels : {INT_MAX, 38347923, 0x40000000}) {
        SCOPED_TRACE(::testing::Message() << channels << " channels");
        VstSpeakerArrangement* slot = nullptr;
        ASSERT_TRUE(effect.allocateArrangement(&slot, 2));
        EXPECT_FALSE(effect.allocateArrangement(&slot, channels));
        EXPECT_EQ(slot, nullptr) << "the old block is released and nothing new is stored";
    }
}

TEST(SpeakerArrangements, CopySpeakerAndMatchRefuseNull) {
    PlainEffectX effect;
    VstSpeakerProperties speaker;
    fillSpeaker(speaker, 1, "Left");
    const VstSpeakerProperties before = speaker;
    EXPECT_FALSE(effect.copySpeaker(nullptr, &speaker));
    EXPECT_FALSE(effect.copySpeaker(&speaker, nullptr));
    EXPECT_EQ(std::memcmp(&speaker, &before, sizeof(speaker)), 0);

    VstSpeakerArrangement kept{};
    VstSpeakerArrangement* slot = &kept;
    EXPECT_FALSE(effect.matchArrangement(&slot, nullptr));
    EXPECT_EQ(slot, &kept) << "the slot is left as it was";
}

TEST(SpeakerArrangements, CopySpeakerCopiesEveryFieldAndBoundsTheName) {
    PlainEffectX effect;
    VstSpeakerProperties source;
    VstSpeakerProperties copy;
    fillSpeaker(source, 5, "Centre");
    std::memset(&copy, 0x44, sizeof(copy));
    EXPECT_TRUE(effect.copySpeaker(&copy, &source));
    expectCopied(copy, source);
}

// Lets one of the inner steps of matchArrangement fail.
class FailingStepEffect : public PlainEffectX {
public:
    bool allocateArrangement(VstSpeakerArrangement** slot, VstInt32 channels) override {
        return failAllocation ? false : PlainEffectX::allocateArrangement(slot, channels);
    }
    bool copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) override {
        ++copies;
        return copies == failingCopy ? false : PlainEffectX::copySpeaker(to, from);
    }
    bool failAllocation = false;
    int failingCopy = 0;
    int copies = 0;
};

TEST(SpeakerArrangements, MatchGoesThroughTheVirtualStepsAndStopsAtTheFirstFailure) {
    VstSpeakerArrangement* source = nullptr;
    PlainEffectX helper;
    ASSERT_TRUE(helper.allocateArrangement(&source, 3));

    FailingStepEffect effect;
    VstSpeakerArrangement* slot = nullptr;
    effect.failAllocation = true;
    EXPECT_FALSE(effect.matchArrangement(&slot, source));
    EXPECT_EQ(effect.copies, 0);

    effect.failAllocation = false;
    effect.failingCopy = 2;
    EXPECT_FALSE(effect.matchArrangement(&slot, source));
    EXPECT_EQ(effect.copies, 2) << "no copy after the failing one";

    effect.copies = 0;
    effect.failingCopy = 0;
    EXPECT_TRUE(effect.matchArrangement(&slot, source));
    EXPECT_EQ(effect.copies, 3);

    effect.deallocateArrangement(&slot);
    helper.deallocateArrangement(&source);
}

}  // namespace
