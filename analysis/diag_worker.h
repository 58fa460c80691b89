#pragma once
// The diagnostic worker: one pass over one possibly damaged file in its own thread. It names the
// camera type, finds the headers and parameter sets, scores the media data against every built-in
// preset, tries to decode sample frames, and ends with an advice line. It reports through queued
// signals; the fields the dialog reads later are written before the signal that announces them,
// except the type and the decoded size, which change during the run and are read under a lock.
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/decode_test.h"
#include "analysis/diag_preset.h"
#include "analysis/header_finder.h"
#include "analysis/type_finder.h"

// The header results (HeaderFindings) are written before endHeaderFinder and not again.
class clsDiag : public QThread, public HeaderFindings {
    Q_OBJECT
public:
    explicit clsDiag(QString path, QObject* parent = nullptr);
    ~clsDiag() override;

    // The label that shows the decoded pictures (reached only through the picture seam, on its
    // own thread: the worker never touches a widget).
    void setPreviewLabel(QObject* label);

    // The current camera type text (it changes during the matching test and once after it).
    std::string videoTypeNow() const;
    // Picture size of the last frame the decode test converted; {0, 0} before any.
    std::pair<int, int> decodedSize() const;

    // Where the presets and the SPS list come from: the built-in documents, unless a test hands
    // in its own.
    using PresetSource = std::function<void(std::vector<std::string>& spsList, std::vector<DiagPreset>& presets)>;
    void setPresetSource(PresetSource source) { presetSource_ = std::move(source); }

    std::vector<FoundParameterSet> foundParameterSets;  // written before endHeaderFinder

    std::atomic<bool> stopRequested{false};
    std::vector<std::string> spsList;
    QString path;
    std::vector<DiagPreset> presets;  // H.264 document first, then H.265

signals:
    void startTypeFinder();
    // `videoType` is the type text as it was when the signal was emitted (empty: none yet).
    void endTypeFinder(QString videoType);
    void startHeaderFinder();
    void endHeaderFinder();
    void startFindFrames();
    void ErrorEncountered(std::string inMsg);
    void infoScan(QString inMsg);
    void infoScanProgress(int current, int max);
    void InfoFoundFromDecode();
    void InfoFoundCodec(bool isHEVC);

protected:
    void run() override;

private:
    void log(const std::string& text);
    bool stopped() const { return stopRequested.load(); }
    void setVideoType(const std::string& type);
    void emitEndTypeFinder();
    // The stages; each returns false when a stop request ended the run.
    bool findType();
    bool findHeaders();
    bool loadPresetDocuments();
    std::vector<std::uint8_t> readWindow() const;
    // Scores the presets the file's codec allows, several at once, and logs each score in list
    // order; ends after the first score above the enough mark.
    bool matchingTest(const std::vector<std::uint8_t>& window);
    void logMatch(std::size_t index);
    std::size_t bestPreset();
    // One decoding attempt with `candidate` and the best preset; false for a text that is no
    // hexadecimal parameter-set text.
    bool attempt(const std::string& candidate, const DiagPreset& best, const std::vector<std::uint8_t>& window);
    // Attempts with each candidate in order until one decodes; progress as it goes. `running`
    // turns false when a stop request ended the run.
    bool attemptAll(const std::vector<std::string>& candidates, const DiagPreset& best,
                    const std::vector<std::uint8_t>& window, bool& running);
    void runStages();

    mutable std::mutex resultLock_;
    std::string videoType_;
    int decodedWidth_ = 0;
    int decodedHeight_ = 0;

    std::unique_ptr<clsTypeFinder> typeFinder_;
    std::unique_ptr<clsHeaderFinder> headerFinder_;
    diagDecodeTest decoder_;
    PresetSource presetSource_;
};
