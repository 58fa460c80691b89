// The job run: output names, and whole runs against fake ffmpeg programs (scripts written
// here) for the outcomes of a conversion, the hardware-encoder retry and the cancel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "jobs/output_names.h"
#include "jobs/settings.h"
#include "jobs/unit_file.h"
#include "jobs/work_folder.h"
#include "tests/jobs/job_harness.h"
#include "tests/support/special_files.h"
#include "tests/support/test_timing.h"

using namespace jobtest;
using namespace testsupport;

TEST(OutputNames, ExtensionForFormat) {
    const std::pair<const char*, const char*> cases[] = {
        {"AVI", ".avi"},          {"Avi", ".avi"},
        {"Wmv", ".wmv"},          {"Mpeg1", ".mpg"},
        {"Mpeg2", ".mpg"},        {"Mp4 HD 1080P", ".mp4"},
        {"Mov", ".mov"},          {"Ogg Vorbis", ".ogg"},
        {"Ogg / Theora", ".ogv"}, {"WebM", ".webm"},
        {"Aac", ".aac"},          {"iPod Touch", ".mp4"},
        {"DVD Ntsc", ".vob"},     {"Re-Encode (Keep same quality)", ".mp4"},
        {"re-encode (keep same quality)", ""},  // compared as received, not upper-cased
        {"none", ""},             {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(extensionForFormat(c.first), c.second) << c.first;
}

TEST(OutputNames, ConversionNameKeepsTheSourcesContainerOnReEncode) {
    struct Case {
        const char* input;
        const char* format;
        const char* name;
    };
    const Case cases[] = {
        {"/v/clip.MOV", kReEncodeFormat, "clip_conv.mp4"},
        {"/v/clip.mov", kReEncodeFormat, "clip_conv.mp4"},
        {"/v/clip.mkv", kReEncodeFormat, "clip_conv.mkv"},
        {"/v/a.b.mp4", kReEncodeFormat, "a.b_conv.b.mp4"},
        {"/v/noext", kReEncodeFormat, "noext_conv.mp4"},
        {"/v/a.b.mp4", "Avi", "a.b_conv.avi"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(baseUpToLastDot(c.input) + "_conv" + conversionExtension(c.format, c.input), c.name) << c.input;
    EXPECT_EQ(baseUpToFirstDot("/v/a.b.mp4"), "a");
}

TEST(OutputNames, UniqueNameNeverTakesAnExistingFile) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    EXPECT_EQ(uniqueOutputName(folder + "/", "clip_conv", ".avi"), folder + "/clip_conv.avi");
    writeFile(dir.file("clip_conv.avi"), "x");
    EXPECT_EQ(uniqueOutputName(folder + "/", "clip_conv", ".avi"), folder + "/clip_conv(1).avi");
    writeFile(dir.file("clip_conv(1).avi"), "x");
    EXPECT_EQ(uniqueOutputName(folder + "/", "clip_conv", ".avi"), folder + "/clip_conv(2).avi");
    // Exactly one "/" between folder and name, whatever the folder brings.
    EXPECT_EQ(uniqueOutputName(folder, "clip_conv", ".avi"), folder + "/clip_conv(2).avi");
    EXPECT_EQ(uniqueOutputName(folder + "//", "clip_conv", ".avi"), folder + "/clip_conv(2).avi");
    // Far longer than any fixed buffer.
    const QString longBase(300, QLatin1Char('n'));
    EXPECT_EQ(uniqueOutputName(folder, longBase, ".mp4"), folder + "/" + longBase + ".mp4");
}

TEST(OutputNames, ReservingCreatesTheFirstNameNothingHolds) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    writeFile(dir.file("clip_conv.mp4"), "mine");
    // A link that leads nowhere holds its name too, and is not followed.
    ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), dir.file("clip_conv(1).mp4").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("clip_conv(2).mp4").c_str(), 0700), 0);
    EXPECT_EQ(reserveOutputName(folder, "clip_conv", ".mp4"), folder + "/clip_conv(3).mp4");
    EXPECT_EQ(fileSize(dir.file("clip_conv(3).mp4")), 0);
    EXPECT_EQ(reserveOutputName(folder, "clip_conv", ".mp4"), folder + "/clip_conv(4).mp4");
    EXPECT_EQ(readFile(dir.file("clip_conv.mp4")), "mine");
    EXPECT_FALSE(fileExists(dir.file("elsewhere")));
    EXPECT_EQ(reserveOutputName(folder + "/missing", "clip_conv", ".mp4"), QString());
}

TEST(OutputNames, RacingReservationsNeverShareAName) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    constexpr int kThreads = 8;
    constexpr int kEach = 10;
    std::vector<QString> names[kThreads];
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) names[t].push_back(reserveOutputName(folder, "clip_fix", ".mp4"));
        });
    for (std::thread& thread : threads) thread.join();
    std::set<QString> distinct;
    for (const auto& list : names) distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), std::size_t(kThreads * kEach));
    EXPECT_EQ(distinct.count(QString()), 0u);
}

TEST(OutputNames, MovingToAFreeNameNeverReplacesAFile) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    writeFile(dir.file("clip_fix.mp4"), "another job's result");
    ASSERT_EQ(mkdir(dir.file("work").c_str(), 0700), 0);
    const std::string repaired = dir.file("work/clip_fix.mp4");
    writeFile(repaired, "repaired");
    const QString moved = moveToFreeName(QString::fromStdString(repaired), folder, "clip_fix", ".mp4");
    EXPECT_EQ(moved, folder + "/clip_fix(1).mp4");
    EXPECT_EQ(readFile(dir.file("clip_fix.mp4")), "another job's result");
    EXPECT_EQ(readFile(dir.file("clip_fix(1).mp4")), "repaired");
    EXPECT_FALSE(fileExists(repaired));
    // Nothing to move: no name is left claimed.
    EXPECT_EQ(moveToFreeName(QString::fromStdString(repaired), folder, "clip_fix", ".mp4"), QString());
    EXPECT_FALSE(fileExists(dir.file("clip_fix(2).mp4")));
}

namespace {

// A fake ffmpeg: logs every call, answers the encoder probe, and runs `conversion` (shell)
// for a conversion, with $out holding the output path.
std::string fakeFfmpeg(const std::string& log, const std::string& listing, const std::string& conversion) {
    return "echo \"$*\" >> '" + log + "'\n"
           "for a; do out=$a; done\n"
           "case \" $* \" in\n"
           "  *\" -encoders \"*) printf '%s\\n' '" + listing + "'; exit 0;;\n"
           "  *nullsrc*) exit 0;;\n"
           "esac\n" + conversion;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

std::vector<std::string> conversionCalls(const std::string& log) {
    std::vector<std::string> calls;
    for (const std::string& line : lines(readFile(log)))
        if (line.find("_conv") != std::string::npos) calls.push_back(line);
    return calls;
}

struct ConversionCase {
    const char* name;
    const char* format;
    std::string conversion;  // shell, run for the conversion call
    int status;
    const char* outputName;  // the file left in the output folder, or "" for none
    bool sourceFolder = false;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }
class ConversionRun : public ::testing::TestWithParam<ConversionCase> {};

}  // namespace

TEST_P(ConversionRun, EndsWithTheStatusAndFileOfItsOutcome) {
    const ConversionCase& c = GetParam();
    TempDir dir;
    const std::string sourceFolder = dir.file("source");
    const std::string outputFolder = dir.file("output");
    QDir().mkpath(QString::fromStdString(sourceFolder));
    QDir().mkpath(QString::fromStdString(outputFolder));
    const std::string source = sourceFolder + "/clip.mkv";
    writeFile(source, std::string(5000, 's'));
    const std::string log = dir.file("calls.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, writeScript(dir, "ffmpeg", fakeFfmpeg(log, "", c.conversion)));
    const ScopedSettings settings(outputFolder + "/", c.format, "", c.sourceFolder);

    auto job = makeJob(source, false);
    const RunRecord run = runJob(*job);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.endStatuses, std::vector<int>{c.status});
    EXPECT_TRUE(run.uidsMatch);
    EXPECT_TRUE(job->isDone);
    EXPECT_FALSE(job->isRunning);
    EXPECT_FALSE(job->isConverting);

    const std::string folder = c.sourceFolder ? sourceFolder : outputFolder;
    std::vector<std::string> expected{};
    if (*c.outputName) expected.push_back(c.outputName);
    if (c.sourceFolder) expected.insert(expected.begin(), "clip.mkv");
    EXPECT_EQ(listFolder(folder), expected);
    EXPECT_EQ(job->outputPath.get(), *c.outputName ? folder + "/" + c.outputName : std::string());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ConversionRun,
    ::testing::Values(
        ConversionCase{"empty_format_converts_to_avi", "", "case \"$*\" in *'-f avi'*) head -c 4000 /dev/zero > \"$out\";; esac\n",
                       0, "clip_conv.avi"},
        ConversionCase{"exactly_3000_bytes_is_an_error", "Mp4", "head -c 3000 /dev/zero > \"$out\"\n", 102, ""},
        ConversionCase{"3001_bytes_is_a_success", "Mp4", "head -c 3001 /dev/zero > \"$out\"\n", 0, "clip_conv.mp4"},
        ConversionCase{"exit_code_is_checked", "Mp4", "head -c 9000 /dev/zero > \"$out\"; exit 1\n", 102, ""},
        ConversionCase{"killed_tool_is_an_error", "Mp4", "head -c 9000 /dev/zero > \"$out\"; kill -9 $$\n", 102, ""},
        ConversionCase{"re_encode_keeps_the_container", kReEncodeFormat, "head -c 4000 /dev/zero > \"$out\"\n", 0,
                       "clip_conv.mkv"},
        ConversionCase{"beside_the_source", "Flv", "head -c 4000 /dev/zero > \"$out\"\n", 0, "clip_conv.flv", true},
        ConversionCase{"format_without_extension_converts_nothing", "none", "exit 9\n", 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JobRun, MissingFfmpegIsAConversionError) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, std::string(5000, 's'));
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, QString::fromStdString(dir.file("absent/ffmpeg")));
    const ScopedSettings settings(dir.path() + "/", "Mp4", "");
    auto job = makeJob(source, false);
    EXPECT_EQ(runJob(*job).endStatuses, std::vector<int>{102});
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"clip.mp4"});
}

TEST(JobRun, TakenNamesGetANumber) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, "s");
    writeFile(dir.file("clip_conv.avi"), "mine");
    const std::string log = dir.file("calls.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg,
                           writeScript(dir, "ffmpeg", fakeFfmpeg(log, "", "head -c 4000 /dev/zero > \"$out\"\n")));
    const ScopedSettings settings(dir.path() + "/", "AVI", "");
    auto job = makeJob(source, false);
    EXPECT_EQ(runJob(*job).endStatuses, std::vector<int>{0});
    EXPECT_EQ(job->outputPath.get(), dir.file("clip_conv(1).avi"));
    EXPECT_EQ(readFile(dir.file("clip_conv.avi")), "mine");
}

// An encoder that is listed and passes its test frame may still fail on the real input.
TEST(JobRun, HardwareEncoderFailureIsRetriedOnceWithTheSoftwareEncoder) {
    struct Case {
        const char* name;
        std::string conversion;
        int status;
        std::vector<const char*> encoders;  // named by each conversion call, in order
    };
    const std::string failNvenc =
        "case \"$*\" in *hevc_nvenc*) echo \"Unknown encoder 'hevc_nvenc'\"; exit 1;; esac\n";
    const Case cases[] = {
        {"software encoder succeeds", failNvenc + "head -c 4000 /dev/zero > \"$out\"\n", 0, {"hevc_nvenc", "libx265"}},
        {"software encoder fails too", failNvenc + "echo 'Conversion failed!'; exit 1\n", 102, {"hevc_nvenc", "libx265"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string source = dir.file("clip.mp4");
        writeFile(source, "s");
        const std::string log = dir.file("calls.log");
        ProgramOverride ffmpeg(ChildProgram::Ffmpeg,
                               writeScript(dir, "ffmpeg", fakeFfmpeg(log, " V....D hevc_nvenc  NVENC hevc", c.conversion)));
        const ScopedSettings settings(dir.path() + "/", kReEncodeFormat, "");
        auto job = makeJob(source, false);
        job->details.mVideoCodec = "hevc";
        EXPECT_EQ(runJob(*job).endStatuses, std::vector<int>{c.status}) << c.name;
        const std::vector<std::string> calls = conversionCalls(log);
        ASSERT_EQ(calls.size(), c.encoders.size()) << c.name;
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_NE(calls[i].find(c.encoders[i]), std::string::npos) << c.name << ": " << calls[i];
        EXPECT_TRUE(job->encoderListed[HevcNvenc]);
        EXPECT_TRUE(job->encoderFailed[HevcNvenc]) << c.name;
        EXPECT_EQ(job->status == 0, fileExists(dir.file("clip_conv.mp4"))) << c.name;
    }
}

TEST(JobRun, CancelBeforeTheRunIsKeptAndEndsItAtTheConversion) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, "s");
    const std::string log = dir.file("calls.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, writeScript(dir, "ffmpeg", fakeFfmpeg(log, "", "exit 0\n")));
    const ScopedSettings settings(dir.path() + "/", "Mp4", "");
    auto job = makeJob(source, false);
    job->setCancel(true);
    const RunRecord run = runJob(*job);
    EXPECT_EQ(run.endStatuses, std::vector<int>{42});
    EXPECT_FALSE(fileExists(log));
    const std::vector<std::string> tail(run.events.end() - 3, run.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"text:Prepare conversion...", "startConvert", "endConvert"}));
}

TEST(JobRun, CancelEndsASilentConversionWithinASecondAndRemovesItsOutput) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, "s");
    const std::string log = dir.file("calls.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, writeScript(dir, "ffmpeg",
                                                             fakeFfmpeg(log, "", "head -c 9000 /dev/zero > \"$out\"\n"
                                                                                 "printf 'frame=    1 fps=0.0 q=0.0 size=1kB\\r'\n"
                                                                                 "exec sleep 30\n")));
    const ScopedSettings settings(dir.path() + "/", "Mp4", "");
    auto job = makeJob(source, false);
    double cancelSeconds = -1;
    const RunRecord run = runJob(*job, "progressConvert", &cancelSeconds);
    EXPECT_EQ(run.endStatuses, std::vector<int>{42});
    EXPECT_GE(cancelSeconds, 0);
    EXPECT_LT(cancelSeconds, timeBound(1.0));
    EXPECT_EQ(listFolder(dir.path()), (std::vector<std::string>{"calls.log", "clip.mp4", "ffmpeg"}));
    EXPECT_TRUE(job->outputPath.get().empty());
}

// Without a usable reference nothing is repaired, and the damaged source is not converted as
// it is: the conversion would only fail on it, with the tool's complaints standing in the log
// where the repair's cause belongs. The job's work folder is gone.
TEST(JobRun, RepairWithoutDescriptionConvertsNothingAndLogsTheCause) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, std::string(5000, 's'));
    writeFile(dir.file("reference.mp4"), std::string(5000, 'r'));
    const std::string output = dir.file("out");
    const std::string log = dir.file("calls.log");
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg,
                           writeScript(dir, "ffmpeg", fakeFfmpeg(log, "", "head -c 4000 /dev/zero > \"$out\"\n")));
    ProgramOverride ordwick(ChildProgram::ReferenceAnalysis, writeScript(dir, "Ordwick", "exit 0\n"));
    const ScopedSettings settings(output + "/", "Mp4", dir.file("reference.mp4"));
    auto job = makeJob(source, true);
    const RunRecord run = runJob(*job);
    EXPECT_EQ(run.endStatuses, std::vector<int>{unitFile::kStatusRepairFailed});
    EXPECT_FALSE(job->isRepaired);
    EXPECT_EQ(job->repairOutcome, RepairOutcome::ReferenceUnreadable);
    EXPECT_TRUE(conversionCalls(log).empty());
    EXPECT_EQ(listFolder(output), std::vector<std::string>{});
    EXPECT_EQ(job->conversionLog.get(), "No conversion: the repair failed. The reference could not be read\n");
    auto at = [&](const std::string& e) { return std::find(run.events.begin(), run.events.end(), e) - run.events.begin(); };
    EXPECT_LT(at("startDownload"), at("text:Fixing..."));
    EXPECT_LT(at("text:Fixing..."), at("text:Video reference analysis..."));
    EXPECT_LT(at("text:Video reference analysis..."), at("text:The reference could not be read"));
    EXPECT_LT(at("text:The reference could not be read"), at("endRepair"));
    EXPECT_LT(at("endRepair"), at("startConvert"));
}

// Jobs started together (two windows, or a batch) that convert one source into one folder each
// claim a name of their own before the tool runs; none writes over another's file or the user's.
TEST(JobRun, JobsConvertingOneSourceIntoOneFolderKeepApart) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, std::string(5000, 's'));
    writeFile(dir.file("clip_conv.mp4"), "mine");
    const std::string log = dir.file("calls.log");
    // Slow enough that every job has chosen its name before any tool writes.
    const std::string conversion = "sleep 0.5\n{ echo $$; head -c 4000 /dev/zero; } > \"$out\"\n";
    ProgramOverride ffmpeg(ChildProgram::Ffmpeg, writeScript(dir, "ffmpeg", fakeFfmpeg(log, "", conversion)));
    const ScopedSettings settings(dir.path() + "/", "Mp4", "");
    constexpr int kJobs = 4;
    std::vector<std::unique_ptr<unitFile>> jobs;
    for (int i = 0; i < kJobs; ++i) jobs.push_back(makeJob(source, false));
    for (auto& job : jobs) job->start();
    for (auto& job : jobs) ASSERT_TRUE(job->wait(60000));
    QCoreApplication::processEvents();

    std::set<std::string> outputs, contents;
    for (auto& job : jobs) {
        EXPECT_EQ(job->status, 0);
        outputs.insert(job->outputPath.get());
        contents.insert(readFile(job->outputPath.get()));
    }
    EXPECT_EQ(outputs, (std::set<std::string>{dir.file("clip_conv(1).mp4"), dir.file("clip_conv(2).mp4"),
                                              dir.file("clip_conv(3).mp4"), dir.file("clip_conv(4).mp4")}));
    EXPECT_EQ(contents.size(), std::size_t(kJobs)) << "a tool wrote into another job's file";
    EXPECT_EQ(readFile(dir.file("clip_conv.mp4")), "mine");
}

// A job killed mid-run leaves its work folder; the next repair in that folder removes it, and
// only it: a running job's folder, one still being made and anything else stay.
TEST(JobRun, RepairRemovesWorkFoldersOfJobsThatEnded) {
    TempDir dir;
    const std::string source = dir.file("clip.mp4");
    writeFile(source, std::string(5000, 's'));
    writeFile(dir.file("reference.mp4"), std::string(5000, 'r'));
    const std::string output = dir.file("out");
    const std::string dead = output + "/" + WorkFolder::kNamePrefix + "dead01";
    const std::string unlocked = output + "/" + WorkFolder::kNamePrefix + "new001";
    const std::string others = output + "/keep";
    for (const std::string& folder : {dead, unlocked, others})
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    // What a killed job leaves: its lock file, free now, beside its intermediates.
    writeFile(dead + "/" + WorkFolder::kLockName, "");
    writeFile(dead + "/out-video.h264", "stale");
    writeFile(others + "/" + WorkFolder::kLockName, "");
    const WorkFolder running(QString::fromStdString(output));
    ASSERT_TRUE(running.isValid());

    ProgramOverride ordwick(ChildProgram::ReferenceAnalysis, writeScript(dir, "Ordwick", "exit 0\n"));
    const ScopedSettings settings(output + "/", "none", dir.file("reference.mp4"));
    auto job = makeJob(source, true);
    ASSERT_TRUE(runJob(*job).finished);
    EXPECT_FALSE(fileExists(dead));
    EXPECT_TRUE(fileExists(unlocked));
    EXPECT_TRUE(fileExists(others + "/" + WorkFolder::kLockName));
    EXPECT_TRUE(fileExists(running.path().toStdString() + "/" + WorkFolder::kLockName));
}
