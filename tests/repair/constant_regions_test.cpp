#include "repair/constant_regions.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::int64_t kLeast = 4096;

struct Buffer {
    std::vector<std::uint8_t> bytes;
    Buffer& varying(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) bytes.push_back(std::uint8_t(1 + i % 251));
        return *this;
    }
    Buffer& constant(std::size_t n, std::uint8_t value) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }
    std::int64_t size() const { return std::int64_t(bytes.size()); }
};

const ConstantRegions::Refusal kAlwaysRefused = [](std::uint8_t) { return true; };

TEST(ConstantRegions, AStretchLongerThanTheSoundIsPassedOverUpToItsTail) {
    const Buffer b = Buffer().varying(100).constant(20000, 0xFF).varying(100);
    ConstantRegions regions;
    ConstantRegions::Pass pass;
    ASSERT_TRUE(regions.at(b.bytes.data(), 100, 0, b.size(), b.size(), kLeast, kAlwaysRefused, pass));
    EXPECT_TRUE(pass.entered);
    EXPECT_EQ(pass.to, 20100 - ConstantRegions::kWindow) << "the last positions are tested one by one";
    EXPECT_EQ(regions.tailFrom(pass.to), ConstantRegions::kWindow);
    EXPECT_EQ(regions.tailFrom(20100), 0);
}

TEST(ConstantRegions, WhatIsNotPassedOver) {
    struct Case {
        const char* name;
        Buffer buffer;
        ConstantRegions::Refusal refused;
    };
    const Case cases[] = {
        {"shorter than the sound runs", Buffer().varying(100).constant(3000, 0x00).varying(100), kAlwaysRefused},
        {"a value something could start in", Buffer().varying(100).constant(20000, 0x00).varying(100),
         [](std::uint8_t) { return false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConstantRegions regions;
        ConstantRegions::Pass pass;
        EXPECT_FALSE(regions.at(c.buffer.bytes.data(), 100, 0, c.buffer.size(), c.buffer.size(), kLeast, c.refused, pass));
        EXPECT_FALSE(regions.at(c.buffer.bytes.data(), 101, 0, c.buffer.size(), c.buffer.size(), kLeast, c.refused, pass))
            << "nor from inside it";
    }
}

TEST(ConstantRegions, AStretchGoesOnIntoTheNextChunk) {
    const Buffer b = Buffer().varying(100).constant(40000, 0x00);
    ConstantRegions regions;
    ConstantRegions::Pass pass;
    // The first chunk ends inside the stretch; the next starts where passing over stopped.
    ASSERT_TRUE(regions.at(b.bytes.data(), 100, 0, 30000, 30000, kLeast, kAlwaysRefused, pass));
    const std::int64_t stopped = pass.to;
    const std::int64_t base = stopped - 16;
    ASSERT_TRUE(regions.at(b.bytes.data() + base, 16, base, b.size() - base, b.size() - base, kLeast,
                           kAlwaysRefused, pass));
    EXPECT_FALSE(pass.entered) << "the same stretch, taken up again";
    EXPECT_EQ(base + pass.to, b.size() - ConstantRegions::kWindow);
}

TEST(ConstantRegions, TheRefusalIsAskedOncePerValue) {
    const Buffer b = Buffer().constant(10000, 0x21).varying(10).constant(10000, 0x21);
    int asked = 0;
    const ConstantRegions::Refusal counting = [&](std::uint8_t) {
        ++asked;
        return true;
    };
    ConstantRegions regions;
    ConstantRegions::Pass pass;
    EXPECT_TRUE(regions.at(b.bytes.data(), 0, 0, b.size(), b.size(), kLeast, counting, pass));
    EXPECT_TRUE(regions.at(b.bytes.data(), 10010, 0, b.size(), b.size(), kLeast, counting, pass));
    EXPECT_EQ(asked, 1);
}

}  // namespace
