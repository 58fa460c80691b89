// The header finder on small hand-made files (boxes, configuration records, in-band parameter
// sets) and on encoder output.
#include "analysis/header_finder.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/h264_bit_writer.h"
#include "tests/support/special_files.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes be32(std::uint32_t v) { return {Bytes::value_type(v >> 24), Bytes::value_type(v >> 16), Bytes::value_type(v >> 8), Bytes::value_type(v)}; }
Bytes be16(std::uint32_t v) { return {Bytes::value_type(v >> 8), Bytes::value_type(v)}; }
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes box(const std::string& type, const Bytes& payload) {
    return cat({be32(std::uint32_t(payload.size() + 8)), text(type), payload});
}

// A Baseline SPS unit (header byte included) of width x height, cropped at the bottom.
Bytes spsUnit(int widthMbs, int heightMbs, int cropBottom, int id = 0) {
    BitWriter w;
    w.u(8, 66).u(8, 0xC0).u(8, 30).ue(id).ue(0).ue(0).ue(2).ue(1).flag(0).ue(widthMbs - 1).ue(heightMbs - 1);
    w.flag(1).flag(1).flag(cropBottom != 0);
    if (cropBottom) w.ue(0).ue(0).ue(0).ue(cropBottom);
    w.flag(0).trailing();
    return nalUnit(0x67, w.data());
}

Bytes ppsUnit(int id = 0) {
    return nalUnit(0x68, BitWriter().ue(id).ue(0).flag(0).flag(0).ue(0).ue(0).ue(0).flag(0).u(2, 0).se(0).se(0).se(0)
                             .flag(1).flag(0).flag(0).trailing().data());
}

std::string hexOf(const Bytes& unit) {
    std::string s = "00000001";
    for (std::uint8_t b : unit) s += byteToHex(b);
    return s;
}

Bytes avcC(const Bytes& sps, const Bytes& pps) {
    return box("avcC", cat({{1, 66, 0xC0, 30, 0xFF, 0xE1}, be16(std::uint32_t(sps.size())), sps, {1},
                            be16(std::uint32_t(pps.size())), pps}));
}

struct Finding {
    clsHeaderFinder finder{QString()};
    std::vector<FoundParameterSet> sets;
};

Finding findIn(const Bytes& bytes) {
    testsupport::TempDir dir;
    const std::string path = dir.file("input.mp4");
    EXPECT_TRUE(testsupport::writeFile(path, std::string(bytes.begin(), bytes.end())));
    Finding f;
    f.finder.path = QString::fromStdString(path);
    f.sets = f.finder.findHeaders();
    return f;
}

const Bytes kSps1080 = spsUnit(120, 68, 4);
constexpr std::size_t kPiece = clsHeaderFinder::kSearchPiece;
const Bytes kPps = ppsUnit();

TEST(ByteToHex, TwoUpperCaseDigits) {
    EXPECT_EQ(byteToHex(0), "00");
    EXPECT_EQ(byteToHex(10), "0A");
    EXPECT_EQ(byteToHex(0x9F), "9F");
    EXPECT_EQ(byteToHex(255), "FF");
}

struct BoxStartCase {
    const char* name;
    Bytes file;
    bool ftypFound;
    int ftypOffset;
    std::string brand;
    bool mdatFound;
    int mdatOffset;
};
void PrintTo(const BoxStartCase& c, std::ostream* os) { *os << c.name; }

class BoxStarts : public ::testing::TestWithParam<BoxStartCase> {};

TEST_P(BoxStarts, FindsFileTypeAndMediaData) {
    const BoxStartCase& c = GetParam();
    const Finding f = findIn(c.file);
    EXPECT_EQ(f.finder.ftypFound, c.ftypFound);
    EXPECT_EQ(f.finder.ftypOffset, c.ftypOffset);
    EXPECT_EQ(f.finder.brandText, c.brand);
    EXPECT_EQ(f.finder.mdatFound, c.mdatFound);
    EXPECT_EQ(f.finder.mdatOffset, c.mdatOffset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxStarts,
    ::testing::Values(
        BoxStartCase{"Mp42", cat({box("ftyp", cat({text("mp42"), be32(0), text("isom")})), box("mdat", Bytes(20, 7))}),
                     true, 8, "ftypmp42", true, 28},
        BoxStartCase{"QuickTimeBrandEndsAtSpaces", cat({box("ftyp", cat({text("qt  "), be32(0x200)})), Bytes(16, 1)}),
                     true, 8, "ftypqt", false, 0},
        BoxStartCase{"MinorVersionByteJoinsBrand", cat({box("ftyp", cat({text("3gp4"), {'x', 0, 0, 0}})), Bytes(16, 1)}),
                     true, 8, "ftyp3gp4x", false, 0},
        BoxStartCase{"BrandCutByFileEnd", cat({Bytes(4, 1), text("ftypab")}), true, 8, "ftypab", false, 0},
        // A raw stream: the first length-prefixed delimiter marks the media data.
        BoxStartCase{"DelimiterAt100", cat({Bytes(100, 0x11), {0, 0, 0, 2, 0x09, 0x30}, Bytes(50, 0x22)}), false, 0, "",
                     false, 100},
        BoxStartCase{"FirstHitWins", cat({Bytes(10, 0x11), {0, 0, 0, 2, 0x09, 0x50}, text("mdat"), Bytes(10, 0x22)}), false,
                     0, "", false, 10},
        BoxStartCase{"TooShortToSearch", text("mdat12"), false, 0, "", false, 0},
        BoxStartCase{"DelimiterOfAnotherPictureTypeIsPassed",
                     cat({Bytes(10, 0x11), {0, 0, 0, 2, 0x09, 0x20}, text("mdat"), Bytes(10, 0x22)}), false, 0, "", true, 20},
        // The search reads the file a piece at a time: what lies across a piece's end is found
        // as a whole, and the first hit of a later piece still counts.
        BoxStartCase{"MdatAcrossPieces", cat({Bytes(kPiece - 2, 0x11), text("mdat"), Bytes(10, 0x22)}), false, 0, "",
                     true, int(kPiece) + 2},
        BoxStartCase{"DelimiterAcrossPieces", cat({Bytes(kPiece - 3, 0x11), {0, 0, 0, 2, 0x09, 0x10}, Bytes(10, 0x22)}),
                     false, 0, "", false, int(kPiece) - 3},
        BoxStartCase{"BrandAcrossPieces", cat({Bytes(kPiece - 6, 0x11), text("ftypisomx"), Bytes(10, 0x22)}), true,
                     int(kPiece) - 2, "ftypisomx", false, 0},
        BoxStartCase{"BoxesInTheThirdPiece",
                     cat({Bytes(2 * kPiece + 5, 0x11), box("ftyp", text("mp42")), text("mdat"), Bytes(10, 0x22)}), true,
                     int(2 * kPiece) + 13, "ftypmp42m", true, int(2 * kPiece) + 21}),
    [](const ::testing::TestParamInfo<BoxStartCase>& info) { return std::string(info.param.name); });

TEST(HeaderFinder, AvcConfigRecordGivesPairWithItsSize) {
    const Finding f = findIn(cat({box("ftyp", text("isom0000")), box("moov", box("stsd", avcC(kSps1080, kPps))),
                                  box("mdat", Bytes(64, 0x33))}));
    EXPECT_TRUE(f.finder.isH264);
    EXPECT_FALSE(f.finder.isHEVC);
    ASSERT_EQ(f.sets.size(), 1u);
    EXPECT_EQ(f.sets[0].hex.toStdString(), hexOf(kSps1080) + hexOf(kPps));
    EXPECT_EQ(f.sets[0].width, 1920);
    EXPECT_EQ(f.sets[0].height, 1080);
    EXPECT_EQ(f.finder.foundParameterSets.size(), 1u);
}

TEST(HeaderFinder, AvcConfigBoxOfMaximumSizeIsSkipped) {
    Bytes record = avcC(kSps1080, kPps);
    const Bytes padding(1504 - record.size(), 0);
    record = box("avcC", cat({Bytes(record.begin() + 8, record.end()), padding}));
    ASSERT_EQ(record.size(), 1504u);
    EXPECT_FALSE(findIn(cat({Bytes(8, 1), record, Bytes(32, 1)})).finder.isH264);

    Bytes smaller(record.begin(), record.end() - 1);
    smaller[3] = std::uint8_t(1503 & 0xFF);
    smaller[2] = std::uint8_t(1503 >> 8);
    EXPECT_TRUE(findIn(cat({Bytes(8, 1), smaller, Bytes(32, 1)})).finder.isH264);
}

// A file between 4 and 8 MiB has overlapping head and tail windows; beyond 8 MiB it has not.
TEST(HeaderFinder, RecordInWindowOverlapIsReportedTwice) {
    const Bytes record = avcC(kSps1080, kPps);
    // 6 MiB: the windows share the bytes from 2 to 4 MiB.
    EXPECT_EQ(findIn(cat({Bytes(3 << 20, 0x5A), record, Bytes(3 << 20, 0x5A)})).sets.size(), 2u);
    EXPECT_EQ(findIn(cat({record, Bytes(6 << 20, 0x5A)})).sets.size(), 1u);
    EXPECT_EQ(findIn(cat({record, Bytes(9 << 20, 0x5A)})).sets.size(), 1u);
}

TEST(HeaderFinder, HevcConfigRecordGivesUnitsWithoutSize) {
    const Bytes vps{0x40, 0x01, 0x0C}, sps{0x42, 0x01, 0x01, 0x60}, pps{0x44, 0x01, 0xC1};
    Bytes record(22, 0);
    record[0] = 1;
    record.push_back(3);  // numOfArrays
    for (const Bytes* unit : {&vps, &sps, &pps})
        record = cat({record, {std::uint8_t(0x20 | ((*unit)[0] >> 1))}, be16(1), be16(std::uint32_t(unit->size())), *unit});
    const Finding f = findIn(cat({Bytes(8, 1), box("hvcC", record), Bytes(9 << 20, 0)}));
    EXPECT_TRUE(f.finder.isHEVC);
    ASSERT_EQ(f.sets.size(), 1u);
    EXPECT_EQ(f.sets[0].hex.toStdString(), hexOf(vps) + hexOf(sps) + hexOf(pps));
    EXPECT_EQ(f.sets[0].width, 0);
}

TEST(HeaderFinder, AnnexBPairsInFileOrder) {
    const Bytes sps2 = spsUnit(40, 30, 0, 1);
    const Bytes pps2 = ppsUnit(1);
    const Bytes start{0, 0, 0, 1};
    const Bytes slice{0x65, 0x88, 0x84, 0x21, 0x40};
    const Finding f = findIn(cat({Bytes(32, 0x77), start, kSps1080, start, kPps, start, slice, Bytes(100, 0x44), start,
                                  sps2, start, pps2, {0, 0, 1}, slice}));
    ASSERT_EQ(f.sets.size(), 2u);
    EXPECT_EQ(f.sets[0].hex.toStdString(), hexOf(kSps1080) + hexOf(kPps));
    EXPECT_EQ(f.sets[1].hex.toStdString(), hexOf(sps2) + hexOf(pps2));
    EXPECT_EQ(f.sets[1].width, 640);
    EXPECT_EQ(f.sets[1].height, 480);
}

// A damaged file: no boxes beyond "mdat", then length-prefixed SPS and PPS.
TEST(HeaderFinder, LengthPrefixedPairBehindMediaDataStart) {
    const Finding f = findIn(cat({Bytes(40, 0x66), text("mdat"), be32(std::uint32_t(kSps1080.size())), kSps1080,
                                  be32(std::uint32_t(kPps.size())), kPps, be32(5), {0x65, 1, 2, 3, 4}}));
    EXPECT_TRUE(f.finder.mdatFound);
    ASSERT_EQ(f.sets.size(), 1u);
    EXPECT_EQ(f.sets[0].hex.toStdString(), hexOf(kSps1080) + hexOf(kPps));
    EXPECT_EQ(f.sets[0].height, 1080);
}

TEST(HeaderFinder, MediaDataBeyondTheHeadWindowSkipsTheLengthPrefixedSearch) {
    // The pair lies behind "mdat" 5 MiB in: outside the 4 MiB head window, so step 6 has nothing
    // to search (and must not read from there).
    const Finding f = findIn(cat({Bytes(5 << 20, 0x11), text("mdat"), be32(std::uint32_t(kSps1080.size())), kSps1080,
                                  be32(std::uint32_t(kPps.size())), kPps, Bytes(64, 0x22)}));
    EXPECT_TRUE(f.finder.mdatFound);
    EXPECT_EQ(f.finder.mdatOffset, (5 << 20) + 4);
    EXPECT_TRUE(f.sets.empty());
}

TEST(HeaderFinder, MarkedPair) {
    const std::uint32_t l1 = std::uint32_t(kSps1080.size());
    Bytes marked = cat({{0x47, 0x50, 0x03, 0x01}, Bytes(12, 0xEE), be32(l1), kSps1080});
    marked.resize(36 + l1, 0xEE);  // the PPS length word lies at mark + L1 + 36
    marked = cat({marked, be32(std::uint32_t(kPps.size())), kPps, Bytes(200, 0xEE)});
    const Finding f = findIn(cat({Bytes(20, 0x99), marked}));
    ASSERT_EQ(f.sets.size(), 1u);
    EXPECT_EQ(f.sets[0].width, 1920);
}

TEST(HeaderFinder, UnreadableFileHasNoFindings) {
    clsHeaderFinder finder(QStringLiteral("no-such-folder/no-such-file.mp4"));
    EXPECT_TRUE(finder.findHeaders().empty());
    EXPECT_FALSE(finder.ftypFound);
    EXPECT_FALSE(finder.mdatFound);
}

// Whether every unit of the finding is a run of the file's bytes: the pieces of its Annex B text
// between start codes (a unit holding a start code splits into runs of the file too).
bool madeOfFileBytes(const FoundParameterSet& set, const Bytes& file) {
    const QByteArray bytes = QByteArray::fromHex(set.hex.toLatin1());
    if (bytes.toHex().toUpper() != set.hex.toLatin1()) return false;
    const std::string haystack(file.begin(), file.end());
    const std::string text = bytes.toStdString();
    const std::string startCode("\0\0\0\1", 4);
    std::size_t at = 0;
    while (at < text.size()) {
        if (text.compare(at, 4, startCode) == 0) {
            at += 4;
            continue;
        }
        const std::size_t next = text.find(startCode, at);
        const std::size_t end = next == std::string::npos ? text.size() : next;
        if (haystack.find(text.substr(at, end - at)) == std::string::npos) return false;
        at = end;
    }
    return true;
}

// Tags and lengths at the edges of the window, pointing outside it: whatever is found is cut at
// the file's end, never filled from beyond it.
TEST(HeaderFinder, LengthsPastTheWindowStayInside) {
    const std::vector<Bytes> files = {
        cat({text("avcC"), Bytes(30, 0xFF)}),
        cat({Bytes(8, 0), be32(100), text("avcC"), {1, 66, 0, 30, 0xFF, 0xE1, 0xFF, 0xFF}, Bytes(12, 0x67)}),
        cat({Bytes(30, 1), be32(0xFFFFFFFF), text("hvcC"), Bytes(40, 0xFF)}),
        cat({Bytes(30, 1), be32(3), text("hvcC"), Bytes(40, 0xFF)}),
        cat({Bytes(10, 1), {0, 0, 0, 1}, {0x67, 0x42}}),
        cat({text("mdat"), be32(200), {0x67, 0x42, 0, 0x1E}}),
        cat({Bytes(200, 1), {0x47, 0x50, 0x03, 0x01}, Bytes(12, 0), be32(254), {0x67}, Bytes(120, 0)}),
    };
    std::vector<Bytes> inputs = files;
    std::mt19937 random(26);
    for (int round = 0; round < 20; ++round) {
        Bytes noise(2000 + random() % 3000);
        for (auto& b : noise) b = std::uint8_t(random() % 3 == 0 ? random() : random() % 2);
        inputs.push_back(noise);
    }
    std::size_t found = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("input " + std::to_string(i));
        const Finding f = findIn(inputs[i]);
        found += f.sets.size();
        for (const FoundParameterSet& set : f.sets) EXPECT_TRUE(madeOfFileBytes(set, inputs[i])) << set.hex.toStdString();
    }
    EXPECT_GT(found, 0u) << "the inputs reach the searches' cuts";
    // An SPS length past the end: the unit is the bytes up to the end, and no PPS follows.
    const Finding cut = findIn(files[1]);
    ASSERT_EQ(cut.sets.size(), 1u);
    EXPECT_EQ(cut.sets[0].hex.toStdString(), hexOf(Bytes(12, 0x67)) + "00000001");
}

TEST(HeaderFinder, EncodedH264FileGivesItsParameterSets) {
    testsupport::ClipSettings settings;
    settings.width = 640;
    settings.height = 360;
    settings.seconds = 0.5;
    const std::string path = testsupport::clip(settings);
    ASSERT_FALSE(path.empty());
    clsHeaderFinder finder(QString::fromStdString(path));
    const std::vector<FoundParameterSet> sets = finder.findHeaders();
    EXPECT_TRUE(finder.ftypFound);
    EXPECT_TRUE(finder.mdatFound);
    EXPECT_TRUE(finder.isH264);
    ASSERT_FALSE(sets.empty());
    EXPECT_TRUE(sets[0].hex.startsWith(QStringLiteral("0000000167")));
    EXPECT_EQ(sets[0].width, 640);
    EXPECT_EQ(sets[0].height, 360);
}

TEST(HeaderFinder, EncodedH265FileIsRecognised) {
    testsupport::ClipSettings settings;
    settings.video = testsupport::VideoCodec::H265;
    settings.seconds = 0.5;
    const std::string path = testsupport::clip(settings);
    ASSERT_FALSE(path.empty());
    clsHeaderFinder finder(QString::fromStdString(path));
    const std::vector<FoundParameterSet> sets = finder.findHeaders();
    EXPECT_TRUE(finder.isHEVC);
    ASSERT_FALSE(sets.empty());
    EXPECT_TRUE(sets[0].hex.startsWith(QStringLiteral("0000000140")));
}

}  // namespace

TEST(HeaderFinder, FifoHasNoFindingsAndDoesNotBlock) {
    testsupport::TempDir dir;
    const testsupport::FifoWatch fifo(dir.file("recording.mp4"), 10);
    ASSERT_TRUE(fifo.made());
    clsHeaderFinder finder(QString::fromStdString(fifo.path()));
    EXPECT_TRUE(finder.findHeaders().empty());
    EXPECT_FALSE(finder.mdatFound);
    EXPECT_FALSE(fifo.released());
}
