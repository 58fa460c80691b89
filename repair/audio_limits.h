#pragma once
// The audio format values a reference description may state. A description carries the probe's
// numbers as they came; values no audio format has (a sample rate or bit depth at the int32
// limit) are not audio to write a header for, and their products would overflow. 0 stands for
// "not stated": a reference without an audio stream, or one the probe could not read.
#include <cstdint>

enum class AudioField { BitsPerSample, Channels, SampleRate, BlockAlign };

// The largest value of each field: 64-bit float samples, more channels than any layout has,
// rates above every DSD rate, and blocks as large as a WAV header's 16-bit field holds.
constexpr std::int32_t audioFieldMax(AudioField field) {
    switch (field) {
    case AudioField::BitsPerSample:
        return 64;
    case AudioField::Channels:
        return 1024;
    case AudioField::SampleRate:
        return 50000000;
    case AudioField::BlockAlign:
        return 65535;
    }
    return 0;
}

constexpr bool audioFieldInRange(AudioField field, std::int64_t value) {
    return value >= 0 && value <= audioFieldMax(field);
}
