// The hand-over between the render's threads: every chunk arrives, in
// order, whatever the bursts, and an error on either side reaches the other.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/chunk_ring.h"

namespace {

TEST(ChunkRing, HandsEveryChunkOverInOrder) {
    const struct {
        std::size_t chunks;
        std::size_t fillBurst;
        std::size_t useBurst;
    } kCases[] = {{1, 1, 1}, {4, 2, 1}, {4, 1, 2}, {4, 4, 4}, {3, 2, 3}};
    for (const auto& entry : kCases) {
        ChunkRing<int> ring(std::vector<int>(entry.chunks), entry.fillBurst, entry.useBurst);
        constexpr int kCount = 2000;
        std::thread producer([&ring] {
            for (int value = 1; value <= kCount; ++value) {
                *ring.toFill() = value;
                ring.publish();
            }
            ring.close();
        });
        std::vector<int> received;
        while (const int* value = ring.toUse()) {
            received.push_back(*value);
            ring.release();
        }
        producer.join();
        ASSERT_EQ(received.size(), static_cast<std::size_t>(kCount)) << entry.chunks << " chunks";
        for (int i = 0; i < kCount; ++i) {
            ASSERT_EQ(received[static_cast<std::size_t>(i)], i + 1)
                << entry.chunks << " chunks, bursts " << entry.fillBurst << "/" << entry.useBurst;
        }
    }
}

TEST(ChunkRing, AnErrorOnEitherSideIsThrownOnTheOther) {
    for (const bool producerFails : {true, false}) {
        ChunkRing<int> ring(std::vector<int>(2), 1, 1);
        std::string caught;
        std::thread other([&] {
            try {
                if (producerFails) {
                    ring.toUse();  // waits for the producer, which gives up
                } else {
                    for (;;) {  // fills until the consumer gives up
                        ring.toFill();
                        ring.publish();
                    }
                }
            } catch (const std::runtime_error& error) {
                caught = error.what();
            }
        });
        ring.abandon(std::make_exception_ptr(std::runtime_error("disk gone")));
        other.join();
        EXPECT_EQ(caught, "disk gone") << (producerFails ? "the consumer" : "the producer");
    }
}

}  // namespace
