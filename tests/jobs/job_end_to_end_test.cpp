// Whole repair jobs started as the window starts them, with the project's own Ordwick and
// Brannoc and the real ffmpeg tool, on clips cut short as a camera leaves them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <functional>
#include <memory>
#include <sstream>

#include "jobs/child_programs.h"
#include "jobs/settings.h"
#include "media/access_codes.h"
#include "media/work_file_names.h"
#include "tests/jobs/job_harness.h"
#include "tests/support/clip_packets.h"
#include "tests/support/damage_bytes.h"
#include "tests/support/encoder_recordings.h"
#include "tests/support/special_files.h"
#include "tests/support/test_clips.h"
#include "tests/support/test_frames.h"
#include "tests/support/test_process.h"
#include "tests/support/test_timing.h"

using namespace jobtest;
using namespace testsupport;

namespace {

constexpr double kCut = 0.7;

// The average luma/chroma PSNR of `path` against the first frames of `original`.
double psnrAgainst(const std::string& path, const std::string& original) {
    const ProcessResult r = runProcess({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-i", original, "-lavfi",
                                        "[0:v][1:v]psnr=shortest=1", "-f", "null", "-"});
    const std::size_t at = r.err.rfind("average:");
    return at == std::string::npos ? 0 : std::stod(r.err.substr(at + 8));
}

// A damaged recording and a healthy reference of the same settings, a source folder holding
// only the damaged file and an output folder holding files of the user's own.
class RepairJob {
public:
    explicit RepairJob(const ClipSettings& clipSettings, const std::string& name) {
        original = clip(clipSettings);
        ClipSettings longer = clipSettings;
        longer.seconds = clipSettings.seconds + 1;
        reference = clip(longer);
        const std::string cut = cutClip(clipSettings, kCut);
        sourceFolder = dir.file("source");
        outputFolder = dir.file("output");
        QDir().mkpath(QString::fromStdString(sourceFolder));
        QDir().mkpath(QString::fromStdString(outputFolder));
        damaged = sourceFolder + "/" + name;
        damagedBytes = readFile(cut);
        writeFile(damaged, damagedBytes);
        writeFile(outputFolder + "/" + kVideoStreamFileName, "the user's own stream");
        writeFile(outputFolder + "/" + baseName() + "_fix.mp4", "the user's own repaired file");
    }

    std::string baseName() const { return damaged.substr(damaged.rfind('/') + 1, damaged.rfind('.') - damaged.rfind('/') - 1); }

    // The user's files are untouched and nothing but `results` was added.
    void expectOutputFolder(const std::vector<std::string>& results) const {
        std::vector<std::string> want = results;
        want.push_back(kVideoStreamFileName);
        want.push_back(baseName() + "_fix.mp4");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(listFolder(outputFolder), want);
        EXPECT_EQ(readFile(outputFolder + "/" + kVideoStreamFileName), "the user's own stream");
        EXPECT_EQ(readFile(outputFolder + "/" + baseName() + "_fix.mp4"), "the user's own repaired file");
        EXPECT_EQ(listFolder(sourceFolder), std::vector<std::string>{damaged.substr(damaged.rfind('/') + 1)});
        EXPECT_TRUE(readFile(damaged) == damagedBytes) << "the damaged file changed";
    }

    TempDir dir;
    std::string original, reference, damaged, damagedBytes, sourceFolder, outputFolder;
};

struct ConvertCase {
    const char* name;
    AudioCodec audio;
    Container container;
    const char* file;
    bool audioRepair;  // the audio-repair program takes part
};

void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }
class RepairAndConvert : public ::testing::TestWithParam<ConvertCase> {};

}  // namespace

TEST_P(RepairAndConvert, GivesAPlayableConvertedFileOfTheRecordedFrames) {
    const ConvertCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, c.audio, c.container), c.file);
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    // Only AAC needs the audio-repair program: here it must not even start.
    const std::string marker = fixture.dir.file("audio-repair-ran");
    std::unique_ptr<ProgramOverride> noAudioRepair;
    if (!c.audioRepair)
        noAudioRepair = std::make_unique<ProgramOverride>(
            ChildProgram::AudioRepair, writeScript(fixture.dir, "Brannoc", "touch '" + marker + "'\nexit 1\n"));
    const ScopedSettings settings(fixture.outputFolder + "/", kReEncodeFormat, fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{0});
    EXPECT_TRUE(job->isRepaired);
    const std::string converted = fixture.outputFolder + "/" + fixture.baseName() + "_fix_conv.mp4";
    EXPECT_EQ(job->outputPath.get(), converted);
    fixture.expectOutputFolder({fixture.baseName() + "_fix_conv.mp4"});
    EXPECT_EQ(fileExists(marker), false);

    EXPECT_EQ(decodeErrors(converted), "");
    const DecodedFrames original = decodedFrames(fixture.original);
    const DecodedFrames got = decodedFrames(converted);
    EXPECT_GE(got.hashes.size(), original.hashes.size() / 2);
    EXPECT_LE(got.hashes.size(), original.hashes.size());
    // Re-encoded, so alike rather than equal: the recorded frames from the first one on.
    EXPECT_GT(psnrAgainst(converted, fixture.original), 32.0);
    const StreamDetails video = probeStream(converted, "v");
    const StreamDetails audio = probeStream(converted, "a");
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(audio.codec, "aac");
    EXPECT_NEAR(audio.seconds, video.seconds, 0.3);
}

INSTANTIATE_TEST_SUITE_P(Cameras, RepairAndConvert,
                         ::testing::Values(ConvertCase{"h264_aac_mp4", AudioCodec::Aac, Container::Mp4, "camera.mp4", true},
                                           ConvertCase{"h264_pcm_mov", AudioCodec::PcmS16le, Container::Mov, "camera.MOV", false}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
// How the sound reaches the repaired file.
enum class SoundRoute { Copied, Encoded };
struct SoundCase {
    const char* name;
    AudioCodec audio;
    Container container;
    int channels;
    SoundRoute route;
};
void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }
class RepairedSound : public ::testing::TestWithParam<SoundCase> {};

int probedChannels(const std::string& path) {
    const ProcessResult r = runProcess({"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                                        "stream=channels", "-of", "default=nw=1:nk=1", path});
    return std::atoi(r.out.c_str());
}
}  // namespace

// The recovered AAC goes into the repaired file as the audio repair left it, packet for packet;
// PCM and ADPCM sound is encoded. Either way the file decodes without a complaint.
TEST_P(RepairedSound, IsTheRecoveredAudioCopiedOrEncoded) {
    const SoundCase& c = GetParam();
    ClipSettings recording = clipSettings(VideoCodec::H264, c.audio, c.container);
    recording.audioChannels = c.channels;
    RepairJob fixture(recording, c.container == Container::Mov ? "camera.MOV" : "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    // The real audio repair, keeping a copy of what it leaves for the job.
    const std::string recovered = fixture.dir.file("recovered.aac");
    ProgramOverride keepCopy(ChildProgram::AudioRepair,
                             writeScript(fixture.dir, "Brannoc",
                                         "'" + programPath("Brannoc") + "' \"$@\" || exit $?\n"
                                         "cp \"$1" + kCheckedAudioSuffix + "\" '" + recovered + "'\n"));
    const ScopedSettings settings(fixture.outputFolder + "/", "none", fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{0});
    const std::string repaired = fixture.outputFolder + "/camera_fix(1).mp4";
    ASSERT_EQ(job->outputPath.get(), repaired);
    fixture.expectOutputFolder({"camera_fix(1).mp4"});

    EXPECT_EQ(decodeErrors(repaired), "");
    const StreamDetails video = probeStream(repaired, "v");
    const StreamDetails audio = probeStream(repaired, "a");
    EXPECT_EQ(video.codec, "h264");
    EXPECT_EQ(audio.codec, "aac");
    EXPECT_EQ(probedChannels(repaired), c.channels);
    EXPECT_NEAR(audio.seconds, video.seconds, 0.3);
    if (c.route == SoundRoute::Copied) {
        ASSERT_TRUE(fileExists(recovered));
        const std::vector<std::string> want = audioPacketHashes(recovered);
        EXPECT_GT(want.size(), 20u);
        EXPECT_EQ(audioPacketHashes(repaired), want);
    } else {
        EXPECT_FALSE(fileExists(recovered)) << "the audio repair ran on PCM or ADPCM sound";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sounds, RepairedSound,
    ::testing::Values(SoundCase{"aac_stereo", AudioCodec::Aac, Container::Mp4, 2, SoundRoute::Copied},
                      SoundCase{"aac_5_1", AudioCodec::Aac, Container::Mp4, 6, SoundRoute::Copied},
                      SoundCase{"pcm_s16le", AudioCodec::PcmS16le, Container::Mov, 2, SoundRoute::Encoded},
                      SoundCase{"ima_adpcm", AudioCodec::ImaAdpcmWav, Container::Mov, 2, SoundRoute::Encoded},
                      SoundCase{"ima_adpcm_qt", AudioCodec::ImaAdpcmQt, Container::Mov, 2, SoundRoute::Encoded},
                      SoundCase{"ima_adpcm_qt_mono", AudioCodec::ImaAdpcmQt, Container::Mov, 1, SoundRoute::Encoded}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
struct BFrameCase {
    const char* name;
    VideoCodec video;
    std::vector<std::string> extraArgs;
};
void PrintTo(const BFrameCase& c, std::ostream* os) { *os << c.name; }
class RepairWithBFrames : public ::testing::TestWithParam<BFrameCase> {};
}  // namespace

// Encoders' defaults use B-frames: the repaired file must still show every frame once, in order.
TEST_P(RepairWithBFrames, RepairedFileShowsTheRecordedFramesInOrder) {
    ClipSettings recording = clipSettings(GetParam().video, AudioCodec::Aac, Container::Mp4);
    recording.extraArgs = GetParam().extraArgs;
    RepairJob fixture(recording, "drone.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    const ScopedSettings settings(fixture.outputFolder + "/", "none", fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{0});
    // The user's own drone_fix.mp4 is kept: the result takes the next free name.
    const std::string repaired = fixture.outputFolder + "/drone_fix(1).mp4";
    EXPECT_EQ(job->outputPath.get(), repaired);
    fixture.expectOutputFolder({"drone_fix(1).mp4"});

    EXPECT_EQ(decodeErrors(repaired), "");
    const DecodedFrames original = decodedFrames(fixture.original);
    const DecodedFrames got = decodedFrames(repaired);
    ASSERT_GE(got.hashes.size(), original.hashes.size() / 2);
    ASSERT_LE(got.hashes.size(), original.hashes.size());
    // The recording's first packets decoded on their own: a B-frame whose later reference lies
    // past the cut cannot come back as recorded, in the repaired file or anywhere else.
    const bool hevc = GetParam().video == VideoCodec::H265;
    const std::string head = fixture.dir.file(hevc ? "head.hevc" : "head.h264");
    const ProcessResult copied = runProcess({"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", fixture.original, "-map",
                                             "0:v", "-c", "copy", "-frames:v", std::to_string(got.hashes.size()),
                                             "-bsf:v", hevc ? "hevc_mp4toannexb" : "h264_mp4toannexb", head});
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_EQ(got.hashes, decodedFrames(head).hashes);
    for (std::size_t i = 1; i < got.pts.size(); ++i) EXPECT_LT(got.pts[i - 1], got.pts[i]) << "frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Encoders, RepairWithBFrames,
                         ::testing::Values(BFrameCase{"x264_defaults", VideoCodec::H264, {}},
                                           // The engine's H.265 type-0 rule (header word 0001, sizes from 0)
                                           // swallows units of 256 to 511 bytes that follow audio ending in
                                           // 00 0x; a high quality keeps the units above that range. The
                                           // GOP and B-frame structure stay x265's defaults.
                                           BFrameCase{"x265_defaults", VideoCodec::H265, {"-crf", "10"}}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
struct CancelCase {
    const char* name;
    const char* cancelOn;  // the signal or status text at which the window cancels
    ChildProgram slowProgram;
    // The slow stand-in; "$real" is the real program's path where one is handed on to.
    std::string script;
};
void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }
class CancelledRepairJob : public ::testing::TestWithParam<CancelCase> {};
}  // namespace

TEST_P(CancelledRepairJob, EndsWithinASecondLeavingNothing) {
    const CancelCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    ProgramOverride slow(c.slowProgram,
                         writeScript(fixture.dir, "slow", "real='" + realFfmpeg() + "'\n" + c.script));
    const ScopedSettings settings(fixture.outputFolder + "/", kReEncodeFormat, fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    double cancelSeconds = -1;
    const RunRecord run = runJob(*job, c.cancelOn, &cancelSeconds);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{42});
    EXPECT_GE(cancelSeconds, 0) << "never reached " << c.cancelOn;
    EXPECT_LT(cancelSeconds, timeBound(1.0));
    EXPECT_TRUE(job->outputPath.get().empty());
    fixture.expectOutputFolder({});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CancelledRepairJob,
    ::testing::Values(CancelCase{"reference_analysis", "text:Video reference analysis...", ChildProgram::ReferenceAnalysis,
                                 "exec sleep 30\n"},
                      CancelCase{"audio_repair", "text:Audio repair...", ChildProgram::AudioRepair, "exec sleep 30\n"},
                      // The engine's stop request; the slow audio repair holds the job should the
                      // short scan be over before the cancel arrives.
                      CancelCase{"scan", "text:Scan...", ChildProgram::AudioRepair, "exec sleep 30\n"},
                      // The conversion writes part of its output, reports once and goes silent.
                      CancelCase{"conversion", "progressConvert", ChildProgram::Ffmpeg,
                                 "for a; do out=$a; done\n"
                                 "case \"$*\" in *_conv*) ;; *) exec \"$real\" \"$@\";; esac\n"
                                 "head -c 9000 /dev/zero > \"$out\"\n"
                                 "printf 'frame=    1 fps=0.0 q=0.0 size=1kB\\r'\n"
                                 "exec sleep 30\n"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
struct DescriptionCase {
    const char* name;
    std::string analysis;  // the reference analysis stand-in; $3 is the description to write, $good a real one
    const char* reachedText;  // a status text showing how far the repair went
};
void PrintTo(const DescriptionCase& c, std::ostream* os) { *os << c.name; }
class RepairWithoutUsableDescription : public ::testing::TestWithParam<DescriptionCase> {};
}  // namespace

// No mux runs without a usable description, and descriptions of earlier runs lying in the
// configuration or output folder are never read.
TEST_P(RepairWithoutUsableDescription, MuxesNothingAndKeepsTheSource) {
    const DescriptionCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    const std::string good = fixture.dir.file("good.xml");
    ASSERT_EQ(runProcess({programPath("Ordwick"), fixture.reference, kReferenceAccessCode, good}).exitCode, 0);
    ASSERT_TRUE(fileExists(good));
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    const std::string stale = config.toStdString() + "/ref.xml";
    writeFile(stale, readFile(good));

    const std::string log = fixture.dir.file("ffmpeg.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, writeScript(fixture.dir, "ffmpeg",
                                                             "echo \"$*\" >> '" + log + "'\nexec '" + realFfmpeg() + "' \"$@\"\n"));
    ProgramOverride analysis(ChildProgram::ReferenceAnalysis,
                             writeScript(fixture.dir, "Ordwick", "good='" + good + "'\n" + c.analysis));
    const ScopedSettings settings(fixture.outputFolder + "/", "none", fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    EXPECT_EQ(run.endStatuses, std::vector<int>{unitFile::kStatusRepairFailed});
    EXPECT_FALSE(job->isRepaired);
    EXPECT_NE(std::find(run.events.begin(), run.events.end(), std::string("text:") + c.reachedText), run.events.end());
    EXPECT_FALSE(fileExists(log)) << readFile(log);
    fixture.expectOutputFolder({});
    EXPECT_EQ(readFile(stale), readFile(good));
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, RepairWithoutUsableDescription,
    ::testing::Values(DescriptionCase{"analysis_writes_nothing", "exit 0\n", "Video reference analysis..."},
                      DescriptionCase{"frame_rate_of_zero",
                                      "sed 's/<videoFps_num>[0-9]*/<videoFps_num>0/' \"$good\" > \"$3\"\n",
                                      "Muxing skipped: the reference gives no frame rate"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
// What a case changes in the prepared job before it runs.
struct NothingCase {
    const char* name;
    const char* format;
    RepairOutcome outcome;  // the cause the job names
    // Returns the reference to use; may change the damaged file.
    std::function<std::string(RepairJob& fixture)> prepare;
    // Bytes a file may grow to (0: no limit).
    rlim_t fileLimit = 0;
    bool readOnlyOutput = false;
    const char* reachedText = nullptr;  // a status text the run must have shown
};
// Room for the reference description, not for the repaired streams.
constexpr rlim_t kFullDisk = 24 * 1024;
// Room for each of the engine's streams (the clip's pictures are about 45 kB, its sound about
// 25 kB), not for the repaired file that holds both.
constexpr rlim_t kNoRoomForTheMux = 56 * 1024;
void PrintTo(const NothingCase& c, std::ostream* os) { *os << c.name; }
class RepairThatLeavesNothing : public ::testing::TestWithParam<NothingCase> {};

std::string keepReference(RepairJob& fixture) { return fixture.reference; }

// The damaged file replaced by `bytes`.
std::function<std::string(RepairJob&)> damagedFileOf(std::function<std::string(const RepairJob&)> bytes) {
    return [bytes](RepairJob& f) {
        writeFile(f.damaged, bytes(f));
        f.damagedBytes = readFile(f.damaged);
        return f.reference;
    };
}

}  // namespace

// A repair job whose repair produced nothing ends as a failure that names its cause, never
// with status 0; with a conversion format too, for the damaged source is not converted.
TEST_P(RepairThatLeavesNothing, EndsAsAFailureAndLeavesNothing) {
    const NothingCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    std::string output = fixture.outputFolder;
    std::unique_ptr<ReadOnlyFolder> locked;
    if (c.readOnlyOutput) {
        locked = std::make_unique<ReadOnlyFolder>(fixture.dir.file("locked"));
        if (!locked->usable()) GTEST_SKIP() << "no read-only folder here: " << locked->why();
        output = locked->path();
    }
    const std::string reference = c.prepare(fixture);
    const ScopedSettings settings(output + "/", c.format, reference);

    auto job = makeJob(fixture.damaged, true);
    RunRecord run;
    {
        std::unique_ptr<FileSizeLimit> full;
        if (c.fileLimit > 0) full = std::make_unique<FileSizeLimit>(c.fileLimit);
        run = runJob(*job);
    }
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{unitFile::kStatusRepairFailed});
    EXPECT_FALSE(job->isRepaired);
    EXPECT_TRUE(job->outputPath.get().empty());
    // The cause, named once: on the status line, and in the log in place of a conversion.
    EXPECT_EQ(job->repairOutcome, c.outcome);
    const std::string cause = repairOutcomeText(c.outcome);
    EXPECT_NE(std::find(run.events.begin(), run.events.end(), "text:" + cause), run.events.end());
    EXPECT_EQ(job->conversionLog.get(), "No conversion: the repair failed. " + cause + "\n");
    if (c.reachedText) {
        EXPECT_NE(std::find(run.events.begin(), run.events.end(), std::string("text:") + c.reachedText), run.events.end());
    }
    if (locked) {
        EXPECT_EQ(listFolder(output), std::vector<std::string>{});
    } else {
        fixture.expectOutputFolder({});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RepairThatLeavesNothing,
    ::testing::Values(
        NothingCase{"missing_reference", "none", RepairOutcome::ReferenceMissing,
                    [](RepairJob& f) { return f.dir.file("no-such-reference.mp4"); }},
        NothingCase{"folder_as_reference", "none", RepairOutcome::ReferenceMissing,
                    [](RepairJob& f) { return f.sourceFolder; }},
        NothingCase{"empty_reference", "none", RepairOutcome::ReferenceUnreadable,
                    [](RepairJob& f) {
                        writeFile(f.dir.file("empty.mp4"), "");
                        return f.dir.file("empty.mp4");
                    }},
        NothingCase{"text_file_as_reference", "none", RepairOutcome::ReferenceUnreadable,
                    [](RepairJob& f) {
                        writeFile(f.dir.file("notes.txt"), "Holiday 2023: the clips of the second day\n");
                        return f.dir.file("notes.txt");
                    }},
        NothingCase{"damaged_file_as_its_own_reference", "none", RepairOutcome::ReferenceUnreadable,
                    [](RepairJob& f) { return f.damaged; }},
        NothingCase{"all_zero_damaged_file", "none", RepairOutcome::NoVideoFound,
                    damagedFileOf([](const RepairJob& f) { return std::string(f.damagedBytes.size(), '\0'); })},
        NothingCase{"random_damaged_file", "none", RepairOutcome::NoVideoFound,
                    damagedFileOf([](const RepairJob&) { return testsupport::randomContent(1500000); })},
        NothingCase{"empty_damaged_file", "none", RepairOutcome::SourceEmpty,
                    damagedFileOf([](const RepairJob&) { return std::string(); })},
        NothingCase{"full_disk", "none", RepairOutcome::DiskFull, keepReference, kFullDisk},
        NothingCase{"mux_cannot_write", "none", RepairOutcome::DiskFull, keepReference, kNoRoomForTheMux, false,
                    "Muxing Audio Video..."},
        NothingCase{"read_only_output_folder", "none", RepairOutcome::OutputNotWritable, keepReference, 0, true},
        NothingCase{"read_only_output_folder_with_conversion", "Mp4", RepairOutcome::OutputNotWritable, keepReference,
                    0, true},
        NothingCase{"missing_reference_with_conversion", "Mp4", RepairOutcome::ReferenceMissing,
                    [](RepairJob& f) { return f.dir.file("no-such-reference.mp4"); }}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
struct FifoCase {
    const char* name;
    bool fifoSource;  // else the reference is the FIFO
};
void PrintTo(const FifoCase& c, std::ostream* os) { *os << c.name; }
class RepairFromAFifo : public ::testing::TestWithParam<FifoCase> {};
}  // namespace

// A FIFO given as the damaged file or the reference is refused before anything opens it: the
// job ends as a failure instead of waiting for a writer that never comes.
TEST_P(RepairFromAFifo, EndsAsAFailureWithoutWaiting) {
    const FifoCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    FifoWatch fifo(fixture.dir.file("fifo.mp4"), 15);
    ASSERT_TRUE(fifo.made());
    for (const char* format : {"none", "Mp4"}) {
        SCOPED_TRACE(format);
        const std::string reference = c.fifoSource ? fixture.reference : fifo.path();
        const ScopedSettings settings(fixture.outputFolder + "/", format, reference);
        // Made by hand: the window's probe of the file is not what is tried here.
        unitFile job;
        job.uid = "{fifo}";
        job.sourcePath = c.fifoSource ? fifo.path() : fixture.damaged;
        job.isRepair = true;
        const RunRecord run = runJob(job);
        ASSERT_TRUE(run.finished);
        const int status =
            std::string(format) == "none" ? unitFile::kStatusRepairFailed : unitFile::kStatusConversionError;
        EXPECT_EQ(run.endStatuses, std::vector<int>{status});
    }
    EXPECT_FALSE(fifo.released()) << "the job waited on the FIFO";
    fixture.expectOutputFolder({});
}

INSTANTIATE_TEST_SUITE_P(Files, RepairFromAFifo,
                         ::testing::Values(FifoCase{"damaged_file", true}, FifoCase{"reference", false}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
struct ListedCase {
    const char* name;
    // What becomes of the damaged file between its listing and the run.
    std::function<void(RepairJob& fixture)> change;
    RepairOutcome outcome;
};
void PrintTo(const ListedCase& c, std::ostream* os) { *os << c.name; }
class RepairOfAListedFile : public ::testing::TestWithParam<ListedCase> {};
}  // namespace

// A damaged file that was listed and then went away, or was replaced by a folder, is named as
// the cause; nothing is written.
TEST_P(RepairOfAListedFile, ThatChangedNamesTheCause) {
    const ListedCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    const ScopedSettings settings(fixture.outputFolder + "/", "Mp4", fixture.reference);
    auto job = makeJob(fixture.damaged, true);
    c.change(fixture);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{unitFile::kStatusRepairFailed});
    EXPECT_EQ(job->repairOutcome, c.outcome);
    EXPECT_TRUE(job->outputPath.get().empty());
    EXPECT_EQ(listFolder(fixture.outputFolder), (std::vector<std::string>{"camera_fix.mp4", "out-video.h264"}));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, RepairOfAListedFile,
    ::testing::Values(ListedCase{"deleted", [](RepairJob& f) { QFile::remove(QString::fromStdString(f.damaged)); },
                                 RepairOutcome::SourceMissing},
                      ListedCase{"replaced_by_a_folder",
                                 [](RepairJob& f) {
                                     QFile::remove(QString::fromStdString(f.damaged));
                                     QDir().mkpath(QString::fromStdString(f.damaged));
                                 },
                                 RepairOutcome::SourceNotRegular}),
    [](const auto& info) { return std::string(info.param.name); });

// A 720p recording repaired with a 1080p reference of another camera's settings: the scan cuts
// pictures with parameter sets they were not made with, which decode only with errors. The job
// says it cannot repair with this reference and leaves nothing, rather than a "repaired" file of
// broken pictures.
TEST(RepairWithAReferenceOfOtherSettings, EndsAsAFailureAndLeavesNothing) {
    ClipSettings recording = clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4);
    recording.width = 1280;
    recording.height = 720;
    recording.fps = 30;
    RepairJob fixture(recording, "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    ClipSettings otherCamera = clipSettings(VideoCodec::H264, AudioCodec::Aac, Container::Mp4, {"-profile:v", "high"});
    otherCamera.width = 1920;
    otherCamera.height = 1080;
    otherCamera.audioRate = 44100;
    const std::string reference = clip(otherCamera);
    ASSERT_FALSE(reference.empty());
    RealHelperPrograms helpers;
    const ScopedSettings settings(fixture.outputFolder + "/", "none", reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{unitFile::kStatusRepairFailed});
    EXPECT_EQ(job->repairOutcome, RepairOutcome::ReferenceDoesNotFit);
    EXPECT_NE(std::find(run.events.begin(), run.events.end(), "text:Scan..."), run.events.end()) << "the scan ran";
    EXPECT_EQ(std::find(run.events.begin(), run.events.end(), "text:Muxing Audio Video..."), run.events.end());
    EXPECT_TRUE(job->outputPath.get().empty());
    fixture.expectOutputFolder({});
}

namespace {
struct SoundLossCase {
    const char* name;
    AudioCodec sound;     // of the recording and its reference
    bool audioRepairFails;
    RepairOutcome outcome;
};
void PrintTo(const SoundLossCase& c, std::ostream* os) { *os << c.name; }
class RepairOfTheSound : public ::testing::TestWithParam<SoundLossCase> {};
}  // namespace

// When the reference has sound and none of it reaches the repaired file (the re-framer refused
// it), the picture is kept but the repair is not called a whole one; a recording without sound
// repaired with a reference without sound lacks nothing.
TEST_P(RepairOfTheSound, DecidesWhetherTheRepairIsWhole) {
    const SoundLossCase& c = GetParam();
    RepairJob fixture(clipSettings(VideoCodec::H264, c.sound, Container::Mp4), "camera.mp4");
    ASSERT_FALSE(fixture.original.empty());
    RealHelperPrograms helpers;
    std::unique_ptr<ProgramOverride> refusing;
    if (c.audioRepairFails)
        refusing = std::make_unique<ProgramOverride>(ChildProgram::AudioRepair,
                                                     writeScript(fixture.dir, "Brannoc", "exit 1\n"));
    const ScopedSettings settings(fixture.outputFolder + "/", "none", fixture.reference);

    auto job = makeJob(fixture.damaged, true);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{0});
    EXPECT_EQ(job->repairOutcome, c.outcome);
    const std::string repaired = fixture.outputFolder + "/camera_fix(1).mp4";
    ASSERT_EQ(job->outputPath.get(), repaired);
    fixture.expectOutputFolder({"camera_fix(1).mp4"});
    EXPECT_EQ(decodeErrors(repaired), "");
    EXPECT_EQ(probeStream(repaired, "v").codec, "h264");
    EXPECT_EQ(probeStream(repaired, "a").codec, "");
}

INSTANTIATE_TEST_SUITE_P(
    Sounds, RepairOfTheSound,
    ::testing::Values(SoundLossCase{"aac_refused", AudioCodec::Aac, true, RepairOutcome::RepairedWithoutSound},
                      SoundLossCase{"none_announced", AudioCodec::None, false, RepairOutcome::Repaired}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
class EncoderSettingsJob : public ::testing::TestWithParam<RecordingCase> {};
}  // namespace

// Every recording of the encoder table through the whole job, as the window starts it: the
// repaired file decodes without a complaint, shows every frame that lay whole before the cut and
// holds the sound along with them; AAC sound is there packet for packet as recorded up to the cut.
TEST_P(EncoderSettingsJob, RepairedFileDecodesWithoutErrors) {
    TempDir dir;
    const RecordingJob r = runRecordingJob(GetParam(), dir);
    ASSERT_FALSE(r.clips.damaged.empty());
    ASSERT_TRUE(r.run.finished);
    EXPECT_EQ(r.run.endStatuses, std::vector<int>{0});
    const std::string repaired = r.job->outputPath.get();
    ASSERT_TRUE(fileExists(repaired));
    EXPECT_EQ(decodeErrors(repaired), "");
    const DamagedRecording& clips = r.clips;
    EXPECT_EQ(decodedFrames(repaired).hashes.size(), wholePacketsBefore(clips.recording, clips.cut, false));
    const StreamDetails video = probeStream(repaired, "v");
    const StreamDetails audio = probeStream(repaired, "a");
    EXPECT_EQ(audio.codec, "aac") << "the repaired file has no sound";
    EXPECT_NEAR(audio.seconds, video.seconds, 0.3);
    if (GetParam().settings.audio == AudioCodec::Aac) {
        std::vector<std::string> recorded = audioPacketHashes(clips.recording);
        recorded.resize(std::min(recorded.size(), wholePacketsBefore(clips.recording, clips.cut, true)));
        ASSERT_GT(recorded.size(), 20u);
        EXPECT_EQ(audioPacketHashes(repaired), recorded);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, EncoderSettingsJob, ::testing::ValuesIn(encoderRecordings()),
                         [](const ::testing::TestParamInfo<RecordingCase>& info) { return std::string(info.param.name); });
