#pragma once
// What a repaired stream is compared with: the NAL units that lay in a recording's samples, the
// frames the ffmpeg tool decodes from a stream, and the pieces of a reference description.
#include <gtest/gtest.h>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "media/access_codes.h"
#include "mp4/byte_order.h"
#include "mp4/nal_header.h"
#include "repair/video_repair.h"
#include "tests/support/clip_packets.h"
#include "tests/support/test_files.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"

namespace recovery {

inline int nalType(const std::string& nal, bool hevc) { return mp4::nalTypeOf(std::uint8_t(nal[0]), hevc); }

inline bool isPicture(const std::string& nal, bool hevc) { return mp4::isPictureType(nalType(nal, hevc), hevc); }

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) out.push_back(line);
    return out;
}

using clippackets::lengthPrefixedUnits;
using clippackets::Unit;

// NAL units of an Annex B stream whose units all start with 00 00 00 01, as the engine writes.
inline std::vector<std::string> annexBUnits(const std::string& data) {
    const std::string startCode("\0\0\0\1", 4);
    std::vector<std::string> units;
    std::size_t at = data.find(startCode);
    while (at != std::string::npos) {
        const std::size_t next = data.find(startCode, at + 4);
        units.push_back(data.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4));
        at = next;
    }
    return units;
}

// The hexadecimal text at `key` of a reference description, as bytes.
inline std::string descriptionBytes(const std::string& description, const std::string& key) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(description, tree);
    const std::string hex = tree.get<std::string>(key, "");
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The video header text of a reference description, as bytes.
inline std::string videoHeader(const std::string& description) {
    return descriptionBytes(description, "videopreset.videoheader");
}

// The audio header text of a reference description (the ADTS header of AAC sound), as bytes.
inline std::string audioHeader(const std::string& description) {
    return descriptionBytes(description, "videopreset.audio.audioheader");
}

// The first `packets` video packets of `file`, stream-copied with the given ffmpeg output options.
inline std::string copyPackets(const std::string& file, int packets, const std::vector<std::string>& output,
                               const std::string& target) {
    std::vector<std::string> cmd = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", file, "-map", "0:v",
                                    "-c",     "copy",     "-frames:v", std::to_string(packets)};
    cmd.insert(cmd.end(), output.begin(), output.end());
    cmd.push_back(target);
    const testsupport::ProcessResult r = testsupport::runProcess(cmd);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return testsupport::readFile(target);
}

// Frame checksums of an elementary stream, in output order; `errors` receives what the decoder
// complained about.
inline std::vector<std::string> frameSums(const std::string& stream, const std::string& format,
                                          std::string* errors = nullptr) {
    const testsupport::ProcessResult r =
        testsupport::runProcess({"ffmpeg", "-nostdin", "-v", "error", "-f", format, "-i", stream, "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (errors) *errors = r.err;
    std::vector<std::string> sums;
    for (const std::string& line : lines(r.out)) {
        if (line[0] == '#') continue;
        sums.push_back(line.substr(line.rfind(',') + 1));
    }
    return sums;
}

// What a recording held before the cut, as a repair must give it back.
struct BeforeCut {
    int wholeVideoPackets = 0;
    // Slices of every picture that lay whole before the cut: those of the whole samples, and
    // those of the sample the cut went through when all its slices lie before the cut.
    std::vector<std::string> pictures;
    std::vector<std::string> units;  // every unit of the same samples, up to the last such slice
    bool cutSampleHasWholePicture = false;
    std::string audio;         // the whole audio packets, in file order
    std::string partialAudio;  // the audio packet the cut went through, up to the cut
};

inline BeforeCut beforeCut(const std::string& recording, std::int64_t cut, bool hevc) {
    const std::string bytes = testsupport::readFile(recording);
    BeforeCut b;
    for (const clippackets::MediaPacket& p : clippackets::packetsOf(recording)) {
        if (p.pos >= cut) break;
        const bool whole = p.pos + p.size <= cut;
        const std::string sample = bytes.substr(std::size_t(p.pos), std::size_t(p.size));
        if (p.audio) {
            (whole ? b.audio : b.partialAudio) += sample.substr(0, std::size_t(std::min(p.size, cut - p.pos)));
            continue;
        }
        if (whole) ++b.wholeVideoPackets;
        const std::vector<Unit> units = lengthPrefixedUnits(sample);
        std::size_t kept = units.size();  // the units up to the last picture slice of a cut sample
        if (!whole) {
            const auto beyond = [&](const Unit& u) { return p.pos + std::int64_t(u.end) > cut; };
            if (std::any_of(units.begin(), units.end(), [&](const Unit& u) { return isPicture(u.nal, hevc) && beyond(u); }))
                continue;
            while (kept > 0 && !isPicture(units[kept - 1].nal, hevc)) --kept;
            b.cutSampleHasWholePicture = kept > 0;
        }
        for (std::size_t i = 0; i < kept; ++i) {
            b.units.push_back(units[i].nal);
            if (isPicture(units[i].nal, hevc)) b.pictures.push_back(units[i].nal);
        }
    }
    return b;
}

// QuickTime IMA ADPCM comes back decoded: the sound before the cut is then the samples its whole
// packets decode to. Decoding the whole recording gives them, since a block goes on from the
// state the block before it left.
inline void asDecodedQtIma(BeforeCut& b, const std::string& recording, int channels) {
    const std::size_t packet = 34 * std::size_t(channels);
    const std::size_t samples = 64 * 2 * std::size_t(channels);
    const std::string pcm = testsupport::decodedSound(recording);
    const std::size_t whole = b.audio.size() / packet * samples;
    const std::size_t most = (b.audio.size() + b.partialAudio.size()) / packet * samples;
    ASSERT_GE(pcm.size(), most);
    b.audio = pcm.substr(0, whole);
    b.partialAudio = pcm.substr(whole, most - whole);
}

// The reference's headers, read from its description before the engine removes it.
struct ReferenceHeaders {
    std::string video;  // the parameter sets the stream opens with
    // AAC: the ADTS header the sound opens with, and a program config element after it for
    // sound whose channels only that element describes.
    std::string audio;
};

// The sound of the engine's audio output: behind the reference's audio header for AAC (the file
// must open with it), else the WAV file's data chunk.
inline std::string recoveredSound(const videoRepair& engine, const ReferenceHeaders& headers) {
    const std::string file = testsupport::readFile(engine.audioOutputPath.toStdString());
    if (engine.isAac) {
        EXPECT_GE(headers.audio.size(), 7u);
        EXPECT_TRUE(file.compare(0, headers.audio.size(), headers.audio) == 0)
            << "the sound opens with the reference's audio header";
        return file.substr(std::min(file.size(), headers.audio.size()));
    }
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::size_t size = mp4::le32(file.data() + at + 4);
        // The rest of the file, whatever the header says: a size left unwritten shows as a
        // fault of its own.
        if (file.compare(at, 4, "data") == 0) return file.substr(at + 8);
        at += 8 + size + (size & 1);
    }
    return {};
}

// Where `text` holds `probe` once only, from `from` on; npos when nowhere or more than once (a
// tone repeats itself in PCM).
inline std::size_t findOnce(const std::string& text, const std::string& probe, std::size_t from) {
    const std::size_t at = text.find(probe, from);
    return at == std::string::npos || text.find(probe, at + 1) != std::string::npos ? std::string::npos : at;
}

// Where `sound` and `original` part at `at`: whether bytes were put in (the original goes on
// further into the sound) or lost (the sound goes on further into the original), where that
// can be told.
inline std::string partingOf(const std::string& sound, const std::string& original, std::size_t at) {
    constexpr std::size_t kProbe = 64;
    std::ostringstream out;
    out << "the audio differs from the original's at byte " << at << " of " << original.size();
    if (at + kProbe > original.size() || at + kProbe > sound.size()) return out.str();
    const std::size_t resumes = findOnce(sound, original.substr(at, kProbe), at);
    const std::size_t skipsTo = findOnce(original, sound.substr(at, kProbe), at);
    if (resumes != std::string::npos)
        out << ": " << (resumes - at) << " bytes put in there";
    else if (skipsTo != std::string::npos)
        out << ": " << (skipsTo - at) << " bytes lost there";
    return out.str();
}

// Every whole audio packet before the cut, in order, and then at most as much of the one the
// cut went through as lies before the cut.
inline ::testing::AssertionResult soundBeforeTheCut(const std::string& sound, const BeforeCut& b) {
    const auto parted = std::mismatch(b.audio.begin(), b.audio.end(), sound.begin(), sound.end());
    if (parted.first != b.audio.end()) {
        const std::size_t at = std::size_t(parted.first - b.audio.begin());
        if (at == sound.size())
            return ::testing::AssertionFailure() << "audio bytes recovered " << sound.size() << " of " << b.audio.size();
        return ::testing::AssertionFailure() << partingOf(sound, b.audio, at) << "; " << sound.size() << " bytes recovered";
    }
    const std::string beyond = sound.substr(b.audio.size());
    if (beyond.size() > b.partialAudio.size() || b.partialAudio.compare(0, beyond.size(), beyond) != 0)
        return ::testing::AssertionFailure() << beyond.size() << " bytes beyond the audio before the cut";
    return ::testing::AssertionSuccess();
}

inline std::string annexBFormat(bool hevc) { return hevc ? "hevc" : "h264"; }

// The frames of the recording's first `packets` video packets, decoded on their own.
inline std::vector<std::string> framesOfFirstPackets(const std::string& recording, int packets, bool hevc,
                                                     const std::string& scratch) {
    copyPackets(recording, packets, {"-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", "-f", annexBFormat(hevc)},
                scratch);
    return frameSums(scratch, annexBFormat(hevc));
}

// Ordwick describes `reference` in `dir`, then `engine` repairs `damaged` into `dir` with that
// description; `headers` receives the description's headers.
// Runs Ordwick on `reference` and the engine on `damaged`, which must end with `result`.
inline void repairWithReference(videoRepair& engine, const std::string& reference, const std::string& damaged,
                                const testsupport::TempDir& dir, ReferenceHeaders& headers,
                                int result = videoRepair::kFinished) {
    const std::string description = dir.file("ref.xml");
    const testsupport::ProcessResult analysed =
        testsupport::runProcess({testsupport::programPath("Ordwick"), reference, kReferenceAccessCode, description});
    ASSERT_EQ(analysed.exitCode, 0) << analysed.err;
    headers.video = videoHeader(description);
    headers.audio = audioHeader(description);
    ASSERT_FALSE(headers.video.empty());
    ASSERT_EQ(engine.startFixer(QString::fromStdString(damaged), QString::fromStdString(description),
                                QString::fromStdString(dir.path() + "/")),
              result);
}

// "type:size" of each unit, to show where two lists part.
inline std::string describe(const std::vector<std::string>& units, bool hevc) {
    std::ostringstream out;
    for (const std::string& nal : units) out << nalType(nal, hevc) << ':' << nal.size() << ' ';
    return out.str();
}

}  // namespace recovery
