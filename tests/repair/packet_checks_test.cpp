#include "repair/packet_checks.h"

#include <gtest/gtest.h>

#include "mp4/fourcc_text.h"
#include "tests/repair/packet_bytes.h"

using packetbytes::Bytes;

namespace {

// The file behind a scan buffer, held in memory.
class MemorySource : public SourceBytes {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes, bool failing = false)
        : bytes_(std::move(bytes)), failing_(failing) {}
    std::int64_t readAt(std::int64_t offset, std::uint8_t* out, std::int64_t count) override {
        if (failing_) return -1;
        if (offset < 0 || offset >= size()) return 0;
        const std::int64_t n = std::min<std::int64_t>(count, size() - offset);
        std::copy_n(bytes_.begin() + offset, n, out);
        return n;
    }
    std::int64_t size() const override { return std::int64_t(bytes_.size()); }

private:
    std::vector<std::uint8_t> bytes_;
    bool failing_;
};

}  // namespace

TEST(FindMdatTest, Cases) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::int64_t expected;
    };
    const std::vector<Case> cases = {
        {"four bytes", Bytes().text("mdat"), 0},
        {"box at 4", Bytes().be32(0x20).text("mdat").padTo(64), 8},
        {"first of two", Bytes().be32(0x20).text("ftyp").text("mdat").text("mdat").padTo(64), 12},
        {"none", Bytes().text("mdaX").text("mmdt").padTo(64), 0},
        {"near miss then hit", Bytes().text("mmdamdat").padTo(64), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(findMdat(c.bytes.data(), std::int64_t(c.bytes.size())), c.expected);
    }
}

TEST(FindMdatTest, SearchIsBoundedTo30MB) {
    std::vector<std::uint8_t> big(std::size_t(kMdatSearchLimit) + 64, 0);
    std::copy_n("mdat", 4, big.begin() + kMdatSearchLimit + 8);
    EXPECT_EQ(findMdat(big.data(), std::int64_t(big.size())), 0);
    std::copy_n("mdat", 4, big.begin() + kMdatSearchLimit - 10);
    EXPECT_EQ(findMdat(big.data(), std::int64_t(big.size())), kMdatSearchLimit - 6);
}

TEST(IsAudPacketTest, Cases) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        bool expected;
    };
    const std::vector<Case> cases = {
        {Bytes().raw({0, 0, 0, 2, 0x09, 0xF0}).padTo(16), false},
        {Bytes().raw({0, 0, 0, 2, 0x09, 0x70}).padTo(16), false},
        {Bytes().raw({0, 0, 0, 2, 0x09, 0x10}).padTo(16), true},
        {Bytes().raw({0, 0, 0, 2, 0x09, 0x30}).padTo(16), true},
        {Bytes().raw({0, 0, 0, 2, 0x09, 0x50}).padTo(16), true},
        {Bytes().raw({0, 0, 0, 1, 0x09, 0x10}).padTo(16), false},
        {Bytes().raw({0, 0, 0, 2, 0x19, 0x10}).padTo(16), false},
        {Bytes().raw({0, 0, 0, 2, 0x09, 0x10}), true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(isAudPacket(cases[i].bytes.data(), std::int64_t(cases[i].bytes.size()), 0), cases[i].expected);
    }
    const std::vector<std::uint8_t> cut = Bytes().raw({0, 0, 0, 2, 0x09});
    EXPECT_FALSE(isAudPacket(cut.data(), 5, 0));
}

TEST(BoxTypeTest, TheThirteenCodesAndNoOther) {
    for (const char* code : {"free", "ftyp", "hoov", "ibak", "iidx", "mdia", "meta", "moov", "mvex", "skip", "trak",
                             "udta", "wide"}) {
        const std::vector<std::uint8_t> bytes = Bytes().be32(24).text(code).padTo(24);
        std::uint32_t read = 0;
        EXPECT_TRUE(isContainerBox(bytes.data(), 24, 0, read)) << code;
        EXPECT_EQ(read, mp4::fourcc(*reinterpret_cast<const char(*)[5]>(code)));
        EXPECT_STREQ(boxTypeName(read), code);
    }
    for (const char* code : {"mdat", "moof", "FREE", "stbl"}) {
        const std::vector<std::uint8_t> bytes = Bytes().be32(24).text(code).padTo(24);
        std::uint32_t read = 0;
        EXPECT_FALSE(isContainerBox(bytes.data(), 24, 0, read)) << code;
        EXPECT_EQ(read, mp4::fourcc(*reinterpret_cast<const char(*)[5]>(code))) << "the code read is reported anyway";
        EXPECT_STREQ(boxTypeName(read), "unknown");
    }
    const std::vector<std::uint8_t> cut = Bytes().be32(24).text("fre");
    std::uint32_t read = 1;
    EXPECT_FALSE(isContainerBox(cut.data(), 7, 0, read));
}

TEST(CanonSliceWordsTest, Membership) {
    for (std::uint32_t w : {0x619A20u, 0x219A2Cu, 0x00219Cu, 0x019E39u}) EXPECT_TRUE(isCanonSliceWord(w)) << w;
    for (std::uint32_t w : {0x619A21u, 0x219A2Du, 0u}) EXPECT_FALSE(isCanonSliceWord(w)) << w;
}

namespace {

TrackRecord track(int typeIndex, const std::string& coding, std::vector<SampleSignature> signatures) {
    TrackRecord t;
    t.typeIndex = typeIndex;
    t.sampleDescCoding = coding;
    t.sampleSignatures = std::move(signatures);
    return t;
}

AnalysisResult withTracks(std::vector<TrackRecord> tracks) {
    AnalysisResult r;
    r.tracks = std::move(tracks);
    r.trackCount = std::int32_t(r.tracks.size());
    return r;
}

}  // namespace

TEST(CameraAtomRulesTest, Cases) {
    const std::uint32_t sig = 0x00010203;
    const AnalysisResult tmcd = withTracks({track(2, "avc1", {}), track(3, "tmcd", {{40, sig}})});
    struct Case {
        const char* name;
        const char* preset;
        ScanValues scan;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"plain preset", "", {}, true},
        {"canon leaves tmcd to the counting runs", "canon eos 70d", {}, false},
        {"jvc", "jvc gy", {}, false},
        {"panasonic", "panasonic gh5", {}, false},
        {"sony, short junk and shared flag", "sony a7", {100, 4096, true}, false},
        {"sony, shared flag clear", "sony a7", {100, 4096, false}, true},
        {"sony, no junk", "sony a7", {0, 4096, true}, true},
        {"sony, junk as long as a chunk", "sony a7", {4096, 4096, true}, true},
        {"nikon, short junk and shared flag", "nikon d5", {100, 4096, true}, false},
        {"other preset ignores the junk", "ambarella", {100, 4096, true}, true},
    };
    const std::vector<std::uint8_t> bytes = Bytes().be32(sig).padTo(64);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::int64_t skip = -7;
        std::string tag = "before";
        const bool matched = cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(tmcd),
                                             PresetTraits::fromName(c.preset), c.scan, skip, tag);
        EXPECT_EQ(matched, c.matches);
        EXPECT_EQ(skip, c.matches ? 40 : -7);
        EXPECT_EQ(tag, c.matches ? "[tmcd]" : "before");
    }
}

TEST(CameraAtomRulesTest, TracksConsideredAndTheirOrder) {
    const std::uint32_t sig = 0x11223344;
    const PresetTraits plain = PresetTraits::fromName("");
    std::int64_t skip = 0;
    std::string tag;
    const std::vector<std::uint8_t> bytes = Bytes().be32(sig).padTo(64);

    // Audio and video tracks never count, whatever their signatures.
    AnalysisResult av = withTracks({track(1, "mp4a", {{40, sig}}), track(2, "avc1", {{40, sig}})});
    EXPECT_FALSE(cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(av), plain, {}, skip, tag));

    // The first matching track decides; a track beyond the track count is not looked at.
    AnalysisResult two = withTracks({track(4, "meta", {{12, 1}, {60, sig}}), track(3, "tmcd", {{40, sig}})});
    EXPECT_TRUE(cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(two), plain, {}, skip, tag));
    EXPECT_EQ(skip, 60);
    EXPECT_EQ(tag, "[meta]");
    AnalysisResult counted = withTracks({track(4, "meta", {{12, 1}}), track(3, "tmcd", {{40, sig}})});
    counted.trackCount = 1;
    EXPECT_FALSE(cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(counted), plain, {}, skip, tag));
    counted.trackCount = 9;  // more than there are
    EXPECT_TRUE(cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(counted), plain, {}, skip, tag));

    // A signature of size 0 skips nothing, so the next track is asked.
    AnalysisResult zero = withTracks({track(4, "meta", {{0, sig}}), track(3, "tmcd", {{40, sig}})});
    EXPECT_TRUE(cameraAtomRules(bytes.data(), 64, 0, sig, CameraTrackTable(zero), plain, {}, skip, tag));
    EXPECT_EQ(tag, "[tmcd]");
}

TEST(CameraAtomRulesTest, GpmdSizeStandsBeforeTheSample) {
    const std::uint32_t sig = 0x44455643;  // "DEVC"
    const AnalysisResult gpmd = withTracks({track(3, "gpmd", {{100, sig}})});
    const PresetTraits gopro = PresetTraits::fromName("gopro hero 4");
    const std::vector<std::uint8_t> bytes = Bytes().be32(0x1F4).fill(8, 0).be32(sig).padTo(64);
    std::int64_t skip = 0;
    std::string tag;
    EXPECT_TRUE(cameraAtomRules(bytes.data(), 64, 12, sig, CameraTrackTable(gpmd), gopro, {}, skip, tag));
    EXPECT_EQ(skip, 0x1F4 + 16);
    EXPECT_EQ(tag, "[gpmd]");

    // Below 12 the size word does not exist.
    const std::vector<std::uint8_t> early = Bytes().fill(8, 0).be32(sig).padTo(64);
    skip = 0;
    EXPECT_FALSE(cameraAtomRules(early.data(), 64, 8, sig, CameraTrackTable(gpmd), gopro, {}, skip, tag));
    EXPECT_EQ(skip, 0);
    // The look-ahead counts the signature alone.
    EXPECT_TRUE(cameraAtomRules(early.data(), 64, 0, sig, CameraTrackTable(gpmd), gopro, {}, skip, tag, true));
}

TEST(CameraAtomRulesTest, FirstDecidingTrackAcrossKinds) {
    const std::uint32_t sig = 0x0A0B0C0D;
    // At 12 the word before the position says 0x1F4: a "gpmd" sample of 0x1F4 + 16 bytes.
    const std::vector<std::uint8_t> bytes = Bytes().be32(0x1F4).fill(8, 0).be32(sig).padTo(64);
    const std::vector<TrackRecord> timecodeGpmdMeta = {track(3, "tmcd", {{40, sig}}), track(3, "gpmd", {{100, sig}}),
                                                       track(4, "meta", {{60, sig}})};
    const std::vector<TrackRecord> timecodeMetaGpmd = {track(3, "tmcd", {{40, sig}}), track(4, "meta", {{60, sig}}),
                                                       track(3, "gpmd", {{100, sig}})};
    const ScanValues yielding{100, 4096, true};
    struct Case {
        const char* name;
        std::vector<TrackRecord> tracks;
        const char* preset;
        ScanValues scan;
        std::int64_t pos;
        std::int64_t skip;  // 0: no match
        const char* tag;
    };
    const Case cases[] = {
        {"time code first", timecodeGpmdMeta, "", {}, 12, 40, "[tmcd]"},
        {"time code left out: gpmd", timecodeGpmdMeta, "canon eos 70d", {}, 12, 0x1F4 + 16, "[gpmd]"},
        {"gpmd without its size word: the next track", timecodeGpmdMeta, "canon eos 70d", {}, 8, 60, "[meta]"},
        {"short junk: only gpmd can take it", timecodeMetaGpmd, "sony a7", yielding, 12, 0x1F4 + 16, "[gpmd]"},
        {"short junk, no size word: nothing", timecodeMetaGpmd, "sony a7", yielding, 8, 0, ""},
        {"sizes of 0 skip nothing", {track(4, "meta", {{0, sig}}), track(5, "text", {{0, sig}}),
          track(3, "tmcd", {{40, sig}})}, "", {}, 8, 40, "[tmcd]"},
        {"only a track's first signature with the word counts",
         {track(4, "meta", {{0, sig}, {50, sig}}), track(3, "tmcd", {{40, sig}})}, "", {}, 8, 40, "[tmcd]"},
        {"a second gpmd track decides nothing new",
         {track(3, "gpmd", {{100, sig}}), track(3, "gpmd", {{7, sig}}), track(4, "meta", {{60, sig}})}, "", {}, 8,
         60, "[meta]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CameraTrackTable table(withTracks(c.tracks));
        std::int64_t skip = 0;
        std::string tag;
        EXPECT_EQ(cameraAtomRules(bytes.data(), 64, c.pos, sig, table, PresetTraits::fromName(c.preset), c.scan, skip,
                                  tag),
                  c.skip > 0);
        EXPECT_EQ(skip, c.skip);
        EXPECT_EQ(tag, c.tag);
    }
}

// A reference of many camera tracks (a movie box of empty 'trak' boxes, or metadata tracks of
// one kind) costs a position no more than one of a few: the table keeps the deciding tracks.
TEST(CameraAtomRulesTest, TableKeepsOnlyTheDecidingTracks) {
    std::vector<TrackRecord> tracks(100000, track(3, "", {}));
    for (std::size_t i = 0; i < 30000; ++i)
        tracks[i] = track(4, "meta" + std::to_string(i), {{std::int32_t(i + 1), 0x5A5A5A5A}});
    tracks[50000] = track(3, "tmcd", {{40, 0x5A5A5A5A}, {24, 0x00C0FFEE}});
    tracks[60000] = track(3, "gpmd", {{100, 0x5A5A5A5A}});
    const CameraTrackTable table(withTracks(tracks));
    const std::vector<CameraTrackCandidate>& shared = table.candidates(0x5A5A5A5A);
    ASSERT_EQ(shared.size(), 3u);
    EXPECT_EQ(shared[0].tag, "[meta0]");
    EXPECT_EQ(shared[0].size, 1);
    EXPECT_EQ(shared[1].tag, "[tmcd]");
    EXPECT_EQ(shared[2].tag, "[gpmd]");
    ASSERT_EQ(table.candidates(0x00C0FFEE).size(), 1u);
    EXPECT_EQ(table.candidates(0x00C0FFEE)[0].size, 24);
    EXPECT_TRUE(table.candidates(0x12345678).empty());
}

namespace {

// A reference whose H.264 type-1 entry allows 100..1000 bytes with header 41 9A, type 5 with
// 65 88 84, and type 7 nothing (never seen).
AnalysisResult h264Reference() {
    AnalysisResult r = withTracks({track(2, "H.264", {}), track(3, "tmcd", {{40, 0x00C0FFEE}})});
    r.nalStats[1].minSize = 100;
    r.nalStats[1].maxSize = 1000;
    r.nalStats[1].headerWords = {0x419A};
    r.nalStats[5].minSize = 2000;
    r.nalStats[5].maxSize = 90000;
    r.nalStats[5].headerWords = {0x658884};
    return r;
}

struct LookAhead {
    std::vector<std::uint8_t> bytes;  // the whole file; the buffer is its first `buffered` bytes
    std::int64_t buffered = -1;
};

// A candidate of 20 payload bytes at position 0, then `next`, then filler.
std::vector<std::uint8_t> afterCandidate(const Bytes& next, std::size_t filler = 1200) {
    Bytes b;
    b.be32(20).raw({0x41, 0x9A}).fill(18, 0x33);
    for (std::uint8_t v : next.vec()) b.raw({v});
    return b.fill(filler, 0xC7);
}

struct LookResult {
    bool ok;
    std::string text;
};

LookResult look(const std::vector<std::uint8_t>& file, std::int64_t buffered, const AnalysisResult& ref,
                const std::string& preset, bool withFile = true, bool failing = false) {
    MemorySource source(file, failing);
    ScanSource src;
    src.data = file.data();
    src.valid = buffered < 0 ? std::int64_t(file.size()) : buffered;
    src.file = withFile ? &source : nullptr;
    std::string text = "stale";
    const bool ok =
        checkNextPacket(src, 0, 20, ref, CameraTrackTable(ref), PresetTraits::fromName(preset), {}, videoCodingOf(ref, 0), text);
    return {ok, text};
}

}  // namespace

TEST(CheckNextPacketTest, Cases) {
    const AnalysisResult ref = h264Reference();
    const std::string prefix = kNextPacketChecked;
    struct Case {
        const char* name;
        Bytes next;
        const char* preset;
        bool ok;
        std::string suffix;
    };
    const std::vector<Case> cases = {
        {"box", Bytes().be32(24).text("free"), "", true, "true (specific atoms)"},
        {"delimiter", Bytes().raw({0, 0, 0, 2, 0x09, 0x10}), "", true, "true (specific atoms)"},
        {"mdat packet", Bytes().be32(16).text("mdat"), "", true, "true (specific atoms)"},
        {"camera track sample", Bytes().be32(0x00C0FFEE), "", true, "true (specific atoms)"},
        {"camera track sample, canon", Bytes().be32(0x00C0FFEE), "canon eos 70d", false, "false"},
        {"type 1 listed", Bytes().be32(500).raw({0x41, 0x9A, 0x11}), "", true, "true (classic packet)"},
        {"type 1 at half its minimum", Bytes().be32(50).raw({0x41, 0x9A, 0x11}), "", true,
         "true (classic packet)"},
        {"type 1 below half its minimum", Bytes().be32(49).raw({0x41, 0x9A, 0x11}), "", false, "false"},
        {"type 1 too long", Bytes().be32(1001).raw({0x41, 0x9A, 0x11}), "", false, "false"},
        {"type 5 on three bytes", Bytes().be32(1000).raw({0x65, 0x88, 0x84}), "", true, "true (classic packet)"},
        {"type 5 unlisted", Bytes().be32(1000).raw({0x65, 0x88, 0x85}), "", false, ""},
        {"type never seen", Bytes().be32(30).raw({0x67, 0x64, 0x00}), "", false, "false"},
        {"forbidden bit", Bytes().be32(500).raw({0xC1, 0x9A, 0x11}), "", false, "false"},
        {"zero length", Bytes().be32(0).raw({0x41, 0x9A, 0x11}), "", false, "false"},
        {"canon slice word", Bytes().be32(50).raw({0x21, 0x9A, 0x2C}), "canon eos 70d", true,
         "true (classic packet)"},
        {"canon slice word, too short", Bytes().be32(49).raw({0x21, 0x9A, 0x2C}), "canon eos 70d", false, "false"},
        {"canon slice word, not canon", Bytes().be32(50).raw({0x21, 0x9A, 0x2C}), "nikon d5", false, ""},
        {"canon slice word, 600d", Bytes().be32(50).raw({0x21, 0x9A, 0x2C}), "canon eos 600d", false, ""},
        {"unknown word, canon", Bytes().be32(50).raw({0x21, 0x9A, 0x2D}), "canon eos 70d", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LookResult r = look(afterCandidate(c.next), -1, ref, c.preset);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.text, prefix + c.suffix);
    }
}

TEST(CheckNextPacketTest, ReadsPastTheBufferFromTheFile) {
    const AnalysisResult ref = h264Reference();
    const std::vector<std::uint8_t> good = afterCandidate(Bytes().be32(500).raw({0x41, 0x9A, 0x11}));
    const std::vector<std::uint8_t> bad = afterCandidate(Bytes().be32(5000).raw({0x41, 0x9A, 0x11}));
    // The buffer ends 500 bytes after the candidate, or right inside the next length word:
    // the verdict is the same as with everything in the buffer.
    for (std::int64_t buffered : {24 + 500, 24 + 2, 24}) {
        SCOPED_TRACE(buffered);
        EXPECT_TRUE(look(good, buffered, ref, "").ok);
        const LookResult r = look(bad, buffered, ref, "");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.text, std::string(kNextPacketChecked) + "false");
    }
}

TEST(CheckNextPacketTest, AcceptsUncheckedWithinTheLast999Bytes) {
    const AnalysisResult ref = h264Reference();
    // Fewer than 1000 bytes of the file follow the candidate, whatever they hold.
    for (std::size_t tail : {0u, 5u, 500u, 999u}) {
        SCOPED_TRACE(tail);
        std::vector<std::uint8_t> file = afterCandidate(Bytes().be32(5000).raw({0x41, 0x9A, 0x11}), 0);
        file.resize(24 + tail, 0xC7);
        const LookResult r = look(file, -1, ref, "");
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, kNextPacketChecked);
    }
    // With 1000 bytes the refused unit is judged.
    std::vector<std::uint8_t> file = afterCandidate(Bytes().be32(5000).raw({0x41, 0x9A, 0x11}), 0);
    file.resize(24 + 1000, 0xC7);
    EXPECT_FALSE(look(file, -1, ref, "").ok);
    // Without a file behind the buffer, the buffer's end is the end of the data.
    const std::vector<std::uint8_t> bad = afterCandidate(Bytes().be32(5000).raw({0x41, 0x9A, 0x11}));
    EXPECT_TRUE(look(bad, 26, ref, "", false).ok);
    // A file that cannot be read past the buffer leaves nothing to judge by.
    EXPECT_TRUE(look(bad, 26, ref, "", true, true).ok);
}

TEST(CheckNextPacketTest, HevcTypesFromTheTrackCoding) {
    AnalysisResult ref = withTracks({track(2, "H.265", {})});
    ref.nalStats[1].minSize = 100;
    ref.nalStats[1].maxSize = 1000;
    ref.nalStats[1].headerWords = {0x0201};
    ref.nalStats[19].minSize = 100;
    ref.nalStats[19].maxSize = 1000;
    ref.nalStats[19].headerWords = {0x2601};
    struct Case {
        const char* name;
        Bytes next;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"type 1 at half", Bytes().be32(50).raw({0x02, 0x01, 0xAA}), true},
        {"type 19 at half", Bytes().be32(50).raw({0x26, 0x01, 0xAA}), true},
        {"type 19 below half", Bytes().be32(49).raw({0x26, 0x01, 0xAA}), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(look(afterCandidate(c.next), -1, ref, "").ok, c.ok);
    }
}

TEST(CheckNextPacketTest, AfterASpecialPacketLooksRightBehindIt) {
    const AnalysisResult ref = h264Reference();
    // A 128-byte camera packet at 0, then a delimiter.
    const std::vector<std::uint8_t> file =
        Bytes().be32(0x04008040).padTo(128, 0x5A).raw({0, 0, 0, 2, 0x09, 0x10}).fill(1200, 0xC7);
    MemorySource source(file);
    ScanSource src{file.data(), std::int64_t(file.size()), 0, &source};
    std::string text;
    const PresetTraits canon = PresetTraits::fromName("canon eos 70d");
    EXPECT_TRUE(checkAfterSpecialPacket(src, 0, 128, ref, CameraTrackTable(ref), canon, {}, VideoCoding::H264, text));
    EXPECT_EQ(text, std::string(kNextPacketChecked) + "true (specific atoms)");
    // Looking 4 bytes further, as a NAL candidate of the same length would, misses it.
    EXPECT_FALSE(checkNextPacket(src, 0, 128, ref, CameraTrackTable(ref), canon, {}, VideoCoding::H264, text));
}
