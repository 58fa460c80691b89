#include "repair/special_packets.h"

#include <cstdio>

#include "mp4/byte_order.h"
#include "mp4/fourcc_text.h"

namespace {

using mp4::fourcc;

// Marks a word that lies past the valid bytes; equals no 32-bit value.
constexpr std::uint64_t kAbsent = 1ull << 32;

struct Words {
    const std::uint8_t* buf;
    std::int64_t valid;
    std::int64_t pos;

    bool has(std::int64_t offset, std::int64_t count) const {
        return offset >= 0 && pos + offset >= 0 && pos + offset <= valid - count;
    }
    std::uint64_t word(std::int64_t offset) const {
        if (!has(offset, 4)) return kAbsent;
        return mp4::be32(buf + pos + offset);
    }
    bool bytesAre(std::int64_t offset, const char* text, std::int64_t count) const {
        if (!has(offset, count)) return false;
        for (std::int64_t i = 0; i < count; ++i)
            if (buf[pos + offset + i] != std::uint8_t(text[i])) return false;
        return true;
    }
};

std::uint64_t plus(std::uint32_t w, std::uint32_t n) { return std::uint32_t(w + n); }

void set(AtomCheck& out, std::int64_t skip, const char* tag, SpecialKind kind = SpecialKind::CameraRecord) {
    out.skip = skip;
    if (skip == 0) return;
    out.kind = kind;
    out.tag = tag;
}

// Counting words from the position that continue W0, W0+1, ... (single) or W0, W0, W0+1, W0+1, ...
// (double), up to the end of the valid bytes.
std::int64_t countRun(const Words& w, std::uint32_t w0, bool twice) {
    std::int64_t count = 0;
    for (std::int64_t off = 0;; off += 4, ++count) {
        const std::uint64_t v = w.word(off);
        if (v == kAbsent) break;
        const std::uint32_t step = std::uint32_t(twice ? count / 2 : count);
        if (v != plus(w0, step)) break;
    }
    return count;
}

void countingRuns(const Words& w, std::uint32_t w0, std::uint64_t w1, std::uint64_t w2, std::uint64_t w3,
                  const char* singleTag, const char* doubleTag, AtomCheck& out) {
    if (w1 == plus(w0, 1) && w2 == plus(w0, 2) && w3 == plus(w0, 3)) {
        const std::int64_t skip = 4 * countRun(w, w0, false);
        set(out, skip < 21 ? 0 : skip, singleTag, SpecialKind::TimecodeSuite);
    }
    if (w1 == w0 && w2 == plus(w0, 1) && w3 == plus(w0, 1)) {
        const std::int64_t skip = 4 * countRun(w, w0, true);
        set(out, skip < 21 ? 0 : skip, doubleTag, SpecialKind::TimecodeSuite);
    }
}

constexpr std::uint32_t kCanonWords[] = {0x04000035, 0x04008032, 0x04006040, 0x04005040, 0x04007041,
                                         0x04002041, 0x04009034, 0x04008040, 0x04004042, 0x02003039};

struct RepiKind {
    std::uint32_t code;
    const char* tag;
};
constexpr RepiKind kRepiKinds[] = {
    {fourcc("tmcd"), "[CANON REPI - tmcd]"},
    {fourcc("vide"), "[CANON REPI - video]"},
    {fourcc("aac "), "[CANON REPI - aac]"},
};

void boxLike(const Words& w, std::uint32_t w0, std::uint64_t w1, AtomsVariant variant, AtomCheck& out) {
    if (w1 == fourcc("moof") && w.bytesAre(12, "mfhd", 4)) {
        set(out, w0, "[moof packet]", SpecialKind::Fragment);
    } else if (variant == AtomsVariant::Diagnostic && (w0 == 0xDE02004C || w0 == 0xDE04004C) &&
               w.bytesAre(4, "avc", 3)) {
        set(out, 16, "[AVC Audio Header packet]");
    } else if (w1 == fourcc("mdat")) {
        set(out, 8, "[mdat packet]", SpecialKind::MediaData);
    } else if (variant == AtomsVariant::Repair && w0 == 0x01FE3030 && w1 == 0x20303020) {
        set(out, 512, "[DJI OSMO packet]");
    }
}

void ambarella(std::uint32_t w0, std::uint64_t w1, AtomCheck& out) {
    constexpr std::int64_t kMaxRecord = 0x3FFFFF;
    if (w1 == fourcc("RVFR") || w1 == fourcc("RVPT") || w1 == fourcc("RTMC")) {
        out.skip = w0 > kMaxRecord ? 0 : std::int64_t(w0);
    } else {
        if (out.skip > kMaxRecord) out.skip = 0;
        if (w1 == fourcc("RVID") || w1 == fourcc("RAUD")) out.skip = 8;
    }
    bool stepTwo = true;
    switch (w0) {
        case 0x47500001: case 0x47500002: case 0x47500003: out.skip = 16; break;
        case 0x47500301: out.skip = 152; break;
        case 0x47500400:
            out.skip = 16;
            if (w1 != kAbsent) out.announcedJunk = std::int64_t(w1);
            break;
        case 0x47500500: case 0x47500600:
            // A size that does not fit the signed 32-bit skip of the format is no record.
            out.skip = (w1 == kAbsent || w1 + 16 > 0x7FFFFFFF) ? 0 : std::int64_t(w1 + 16);
            break;
        default: stepTwo = false;
    }
    if (out.skip > 0) {
        out.kind = SpecialKind::Ambarella;
        out.tag = "[AMBARELLA]";
    }
    if (stepTwo && out.skip < 1) return;
    if (w1 == 0x20202020 && w0 == 0x00072020) set(out, 9, "Ambarella [TEXT]");
}

void check(const Words& w, std::uint32_t w0, const PresetTraits& preset, AtomsVariant variant, AtomCheck& out) {
    const std::uint64_t w1 = w.word(4), w2 = w.word(8), w3 = w.word(12);

    boxLike(w, w0, w1, variant, out);

    if (preset.sonyPsp) {
        if (w0 == 0x00080100 && w1 == 0x000000B8) set(out, 192, "[SONY_PSP 0x00080100]");
    } else if (preset.sony) {
        if (w0 == 0x00080100 && w1 == 0x00AD034B) set(out, 1024, "[SONY RTMD 0x00080100]");
    } else if (preset.ambarella || preset.gopro) {
        ambarella(w0, w1, out);
    }

    countingRuns(w, w0, w1, w2, w3, "[TMCD - Suite +1]", "[TMCD - Suite x2 +1]", out);

    if (preset.jvc) {
        if (w1 == fourcc("cinf")) set(out, 0x17200, "[CINF jvc]");
        if (w1 == fourcc("rtmd")) set(out, w0, "[rtmd jvc]");
        if (w1 == plus(w0, 1) && w2 == plus(w0, 1) && w3 == plus(w0, 1)) set(out, 48, "[TMCD jvc]");
        return;
    }
    if (preset.panasonic) {
        countingRuns(w, w0, w1, w2, w3, "[TMCD Panasonic - Suite +1]", "[TMCD Panasonic - Suite x2 +1]", out);
        if (w0 == 0xFFFFFFFF && w1 == 0xFFFFFFFF) set(out, 8, "[rotten data 0xFFFFFFFF]");
        return;
    }
    if (preset.iphone) {
        if (w0 == 100 && w2 == 1) set(out, 1536, "[IPHONE - 0x00000064]");
        else if (w0 == 0x68 && w1 == 1) set(out, 0x68, "[IPHONE - 0x00000068]");
        else if (w0 == 0x88 && w1 == 1) set(out, 0x88, "[IPHONE - 0x00000088]");
        else if (w0 == 8 && w1 == 0) set(out, 8, "[IPHONE - 0x00000008]");
        if (w.bytesAre(12, "crec", 4)) set(out, w0, "[IPHONE - 0x63726563]");
        return;
    }
    if (preset.canon) {
        for (std::uint32_t word : kCanonWords) {
            if (w0 != word) continue;
            char tag[32];
            std::snprintf(tag, sizeof tag, "[CANON - 0x%08X]", w0);
            set(out, 128, tag);
        }
    }
    if (w0 == fourcc("repi") && w.has(5, 3)) {
        for (const RepiKind& kind : kRepiKinds) {
            if (w2 != kind.code) continue;
            set(out, mp4::be24(w.buf + w.pos + 5), kind.tag);
        }
    }
    if (!preset.canon) return;
    countingRuns(w, w0, w1, w2, w3, "[TMCD Canon - Suite +1]", "[TMCD Canon - Suite x2 +1]", out);
}

}  // namespace

void specificAtomsChecker(const std::uint8_t* buf, std::int64_t valid, std::int64_t pos, std::uint32_t w0,
                          const PresetTraits& preset, AtomsVariant variant, AtomCheck& out) {
    if (!buf || pos < 0 || pos >= valid) return;
    try {
        check(Words{buf, valid, pos}, w0, preset, variant, out);
    } catch (...) {
        // Only a tag assignment can throw (out of memory); the outputs set so far stand.
    }
}
