#pragma once
// The decode test's verdicts on the pictures it has looked at, kept for the attempts that
// follow. Candidates that differ only where decoding does not look decode the same pictures: a
// recording none of them fits shows the same few good pictures in one attempt after the other
// before the picture that fails, and each costs a conversion, a flatness test and a preview. A
// picture is known by a 128-bit digest of its pixel format, size and visible bytes, which
// decide all three.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>

#include <QImage>

struct AVFrame;

class PictureVerdicts {
public:
    using Digest = std::array<std::uint8_t, 16>;

    struct Verdict {
        bool good = false;  // converted, and not flat
        QImage preview;     // of a good picture: the preview the label gets
    };

    // Verdicts kept at most; the oldest goes first. A preview takes 87 KB.
    static constexpr std::size_t kMaxKept = 32;

    // The digest of `frame`'s content; false for a format whose pixels it cannot tell (such a
    // picture is looked at afresh each time).
    static bool digestOf(const AVFrame* frame, Digest& digest);

    // The verdict kept for `digest`, or null.
    const Verdict* find(const Digest& digest) const;
    // Keeps `verdict` for `digest` and returns the kept copy.
    const Verdict& keep(const Digest& digest, Verdict verdict);

private:
    std::deque<std::pair<Digest, Verdict>> kept_;  // oldest first
};
