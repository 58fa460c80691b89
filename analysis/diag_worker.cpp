#include "analysis/diag_worker.h"

#include <QFile>
#include <QMetaType>

#include <algorithm>

#include "analysis/frame_finder.h"
#include "analysis/ordered_work.h"
#include "analysis/preset_scoring.h"
#include "mp4/diagnostic_log.h"
#include "mp4/regular_file.h"

namespace {

constexpr float kExcellentScore = 98.0f;
constexpr float kGoodScore = 93.0f;
constexpr float kEnoughScore = 99.1f;  // ends the matching test
constexpr float kHopefulScore = 60.0f;

void registerQueuedTypes() {
    static const int once = [] {
        qRegisterMetaType<std::string>("std::string");
        return 0;
    }();
    (void)once;
}

void loadBuiltInPresets(std::vector<std::string>& spsList, std::vector<DiagPreset>& presets) {
    loadSpsList(spsList);
    loadPresets(true, presets);
    loadPresets(false, presets);
}

}  // namespace

clsDiag::clsDiag(QString p, QObject* parent)
    : QThread(parent),
      path(std::move(p)),
      typeFinder_(std::make_unique<clsTypeFinder>(path)),
      headerFinder_(std::make_unique<clsHeaderFinder>(path)),
      decoder_([this](const std::string& message) { emit ErrorEncountered(message); },
               [this](int width, int height) {
                   std::lock_guard<std::mutex> hold(resultLock_);
                   decodedWidth_ = width;
                   decodedHeight_ = height;
               }),
      presetSource_(loadBuiltInPresets) {
    registerQueuedTypes();
}

clsDiag::~clsDiag() {
    // The owner stops the run first; this is the last guard against a thread left running.
    stopRequested = true;
    wait();
}

void clsDiag::setPreviewLabel(QObject* label) { decoder_.setPreviewLabel(label); }

std::string clsDiag::videoTypeNow() const {
    std::lock_guard<std::mutex> hold(resultLock_);
    return videoType_;
}

std::pair<int, int> clsDiag::decodedSize() const {
    std::lock_guard<std::mutex> hold(resultLock_);
    return {decodedWidth_, decodedHeight_};
}

void clsDiag::setVideoType(const std::string& type) {
    std::lock_guard<std::mutex> hold(resultLock_);
    videoType_ = type;
}

void clsDiag::emitEndTypeFinder() { emit endTypeFinder(QString::fromStdString(videoTypeNow())); }

void clsDiag::log(const std::string& text) { emit infoScan(QString::fromUtf8(text.c_str())); }

void clsDiag::run() {
    try {
        runStages();
    } catch (...) {
        // An allocation failure or the like ends the run quietly; the dialog keeps what it showed.
    }
}

bool clsDiag::findType() {
    emit startTypeFinder();
    setVideoType(typeFinder_->findType());
    if (stopped()) return false;
    emitEndTypeFinder();
    return true;
}

bool clsDiag::findHeaders() {
    emit startHeaderFinder();
    foundParameterSets = headerFinder_->findHeaders();
    if (stopped()) return false;
    static_cast<HeaderFindings&>(*this) = *headerFinder_;
    emit endHeaderFinder();
    emit startFindFrames();
    return true;
}

bool clsDiag::loadPresetDocuments() {
    if (presetSource_) presetSource_(spsList, presets);
    if (stopped()) return false;
    addBuiltInPacketRules(presets);
    return !stopped();
}

std::vector<std::uint8_t> clsDiag::readWindow() const {
    std::vector<std::uint8_t> window;
    QFile file(path);
    // A FIFO, device or folder holds no recording, and opening a FIFO would block the worker.
    if (!mp4::isRegularFile(QFile::encodeName(path).toStdString()) || !file.open(QIODevice::ReadOnly)) return window;
    const qint64 readSize = std::min<qint64>(file.size(), kDiagWindowSize);
    window.resize(std::size_t(std::max<qint64>(readSize, 0)));
    const qint64 got = window.empty() ? 0 : file.read(reinterpret_cast<char*>(window.data()), readSize);
    window.resize(std::size_t(std::max<qint64>(got, 0)));
    return window;
}

bool clsDiag::matchingTest(const std::vector<std::uint8_t>& window) {
    if (presets.empty()) return true;
    if (stopped()) return false;
    const FrameWindow frames{window.data(), std::int64_t(window.size()), kDiagWindowSize, mdatOffset};
    std::vector<std::size_t> tested;
    for (std::size_t i = 0; i < presets.size(); ++i)
        if (!(isHEVC && !presets[i].isHEVC)) tested.push_back(i);
    // With no type found, the first preset tested lends its name to the special-packet rules
    // for the rest of the test.
    if (videoTypeNow().empty() && !tested.empty()) setVideoType(presets[tested.front()].presetName);
    const int n = int(presets.size());
    return scorePresetsInOrder(
        frames, presets, tested, videoTypeNow(), stopRequested, machineThreads(),
        [](float score) { return score > kEnoughScore; },
        [&](std::size_t index) {
            emit infoScanProgress(int(index) + 1, n);
            logMatch(index);
        });
}

void clsDiag::logMatch(std::size_t index) {
    const float score = presets[index].score;
    std::string line = "Matching test " + std::to_string(index) + " - Video Frames recognized=" +
                       QString::number(double(score), 'g', 6).toStdString() + "%";
    if (score > kExcellentScore) line += " - Excellent !";
    else if (score > kGoodScore) line += " - Good !";
    log(line);
}

std::size_t clsDiag::bestPreset() {
    float best = 0.0f;
    std::size_t index = 0;
    for (std::size_t i = 0; i < presets.size(); ++i) {
        if (presets[i].score > best) {
            best = presets[i].score;
            index = i;
            emit InfoFoundCodec(presets[i].isHEVC);
        }
    }
    return index;
}

bool clsDiag::attempt(const std::string& candidate, const DiagPreset& best, const std::vector<std::uint8_t>& window) {
    decoder_.clearPendingPackets();
    // A damaged candidate text is one failed attempt, not the end of the run.
    if (!decoder_.queueHexPacket(candidate)) return false;
    return decoder_.decodeTest(best, window.data(), std::int64_t(window.size())) > 0;
}

bool clsDiag::attemptAll(const std::vector<std::string>& candidates, const DiagPreset& best,
                         const std::vector<std::uint8_t>& window, bool& running) {
    int lastPercent = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (stopped()) {
            running = false;
            return false;
        }
        logDiagnostic(std::to_string(i) + " => computation");
        const bool decoded = attempt(candidates[i], best, window);
        const int percent = int(double(i + 1) / double(candidates.size()) * 100.0);
        if (percent > lastPercent) {
            lastPercent = percent;
            emit infoScanProgress(percent, 100);
        }
        if (decoded) return true;
    }
    return false;
}

void clsDiag::runStages() {
    if (!findType()) return;
    const std::string savedType = videoTypeNow();
    if (!findHeaders()) return;
    if (!loadPresetDocuments()) return;
    const std::vector<std::uint8_t> window = readWindow();
    if (!matchingTest(window)) return;

    setVideoType(savedType);
    const std::size_t bestIndex = bestPreset();
    if (savedType.empty() && !presets.empty()) {
        setVideoType(presets[bestIndex].presetName);
        emitEndTypeFinder();
    }

    emit infoScanProgress(0, 100);
    log("Decoding attempts started... ");
    bool decoded = false;
    bool running = true;
    if (!presets.empty()) {
        const DiagPreset& best = presets[bestIndex];
        if (!foundParameterSets.empty()) {
            decoded = attempt(foundParameterSets.front().hex.toStdString(), best, window);
        } else {
            decoded = attemptAll(best.headers, best, window, running);
        }
        if (!decoded && running) decoded = attemptAll(spsList, best, window, running);
    }
    if (!running) return;

    if (decoded) {
        log("Successful decoding process... sounds great!");
        log("We can recover this file");
        emit InfoFoundFromDecode();
    } else {
        const float bestScore = presets.empty() ? 0.0f : presets[bestIndex].score;
        log(bestScore <= kHopefulScore ? "Need more test to recover your file" : "Good chances we can recover your file");
    }
    log("Scan Finished.");
    emit infoScanProgress(100, 100);
}
