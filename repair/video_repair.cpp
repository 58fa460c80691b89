#include "repair/video_repair.h"

#include <QFile>
#include <algorithm>
#include <cctype>
#include <iostream>

#include "media/aac_audio_header.h"
#include "media/hex_text.h"
#include "media/work_file_names.h"
#include "mp4/fourcc_text.h"
#include "repair/camera_rules.h"
#include "repair/live_preview.h"
#include "repair/qt_ima_decoder.h"
#include "repair/qt_ima_format.h"
#include "repair/qt_ima_wav.h"
#include "repair/reference_reader.h"
#include "repair/repair_run.h"
#include "repair/scan_loop.h"

namespace {

// The engine's audio file in `folder`: WAV for uncompressed audio, raw frames otherwise.
QString audioOutputName(const QString& folder, AudioCoding coding) {
    return folder + (writesWav(coding) ? kWavAudioFileName : kRawAudioFileName);
}

std::string upperCased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

int firstTrackOfType(const AnalysisResult& analysis, int typeIndex) {
    for (std::size_t i = 0; i < analysis.tracks.size(); ++i)
        if (analysis.tracks[i].typeIndex == typeIndex) return static_cast<int>(i);
    return -1;
}

void printLine(const std::string& label, const std::string& value) { std::cout << label << value << std::endl; }

// The reference's header text could not be turned into bytes.
struct UnusableHeader {};

std::string headerBytes(std::string& text) {
    text = upperCased(text);
    std::string bytes;
    if (!hexToBytes(text, bytes)) throw UnusableHeader{};
    return bytes;
}

// PCM chunk values: the samples one PCM run holds and its length in bytes.
void setPcmChunkValues(RepairRun& run) {
    AudioRunBook& book = run.audio;
    book.chunkSampleCount = 0;
    book.chunkByteCount = 0;
    if (!writesWav(run.formats.audio)) return;
    const TrackRecord& track = run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)];
    const std::int64_t sampleSize = track.pcmSampleSize;
    const std::int64_t perChunk = track.pcmSamplesPerChunk;
    std::int64_t samples = sampleSize * perChunk;  // 64-bit: both come from the document
    std::int64_t bytes = samples;
    if (sampleSize < 2) bytes = perChunk == 32000 ? 96000 : perChunk * 4;
    // IMA ADPCM chunks count sample frames: their bytes are whole blocks, not four per sample.
    const int perBlock = imaAdpcmSamplesPerBlock(run.media.blockAlign, run.media.channels);
    if (run.formats.audio == AudioCoding::ImaAdpcm && perBlock > 0)
        bytes = (perChunk + perBlock - 1) / perBlock * run.media.blockAlign;
    if (run.formats.audio == AudioCoding::ImaAdpcmQt) {
        bytes = qtImaChunkBytes(sampleSize, perChunk, run.media.channels);
        // Packets are of one size even when the tables give no chunk: a positive count keeps
        // the end of the data to whole packets.
        samples = std::max<std::int64_t>(samples, 1);
    }
    book.chunkSampleCount = std::max<std::int64_t>(0, samples);
    // Longer than any audio run can be: such a chunk size is never matched, whatever its value.
    book.chunkByteCount = static_cast<std::int32_t>(std::clamp<std::int64_t>(bytes, 0, kMaxAudioRun + 1));
    book.samplesPerChunk = track.pcmSamplesPerChunk;
}

// The first track of type 1 whose sound goes to a WAV file: its header is completed after the scan.
int firstWavTrack(const AnalysisResult& analysis) {
    for (std::size_t i = 0; i < analysis.tracks.size(); ++i) {
        const TrackRecord& t = analysis.tracks[i];
        if (t.typeIndex == 1 && t.sampleDescFormat != mp4::fourcc("mp4a")) return static_cast<int>(i);
    }
    return -1;
}

// The reference's parameter sets at the start of the video output, and ahead of every preview
// picture; returns their bytes.
std::string writeVideoHeader(RepairRun& run, livePreview& preview) {
    TrackRecord& video = run.analysis.tracks[static_cast<std::size_t>(run.videoTrack)];
    const std::string bytes = headerBytes(video.videoHeaderHex);
    preview.flushPreviewPackets();
    // The text was read just above; it cannot fail here.
    (void)preview.decodeTestPacket(video.videoHeaderHex);
    run.videoOut.write(bytes.data(), bytes.size());
    run.pictureEnd = run.videoOut.accepted();
    return bytes;
}

// An 'mp4a' track's header bytes; AAC runs can then be told by their first frame's opening.
void writeAacHeader(RepairRun& run, TrackRecord& audio) {
    const std::string bytes = headerBytes(audio.audioHeaderHex);
    run.audioOut.write(bytes.data(), bytes.size());
    aac::AdtsConfig config;
    if (run.media.audioCodecName == "aac" &&
        aac::parseAudioHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), config)) {
        run.formats.aacFirstElement = config.layout.front();
        run.aacFrames = std::make_unique<aac::FrameProbe>();
        if (!run.aacFrames->init(config)) run.aacFrames.reset();
    }
}

// What the audio output opens with; throws UnusableHeader when the reference's sound cannot be
// written as it says.
void writeAudioHeader(RepairRun& run, bool decodesPackets) {
    TrackRecord& audio = run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)];
    if (audio.sampleDescFormat == mp4::fourcc("mp4a")) return writeAacHeader(run, audio);
    if (decodesPackets) {
        // The WAV header is written with the decoded samples, after the scan.
        const WavFormat decoded{WavKind::Pcm, run.media.channels, run.media.sampleRate, 16, 0};
        if (!isWritableFormat(decoded) || !run.qtIma.open(run.media.channels, run.media.sampleRate))
            throw UnusableHeader{};
        return;
    }
    const bool started = run.formats.audio == AudioCoding::ImaAdpcm
                             ? writeWavHeaderAdpcm(run.audioOut, run.media.bitsPerSample, run.media.channels,
                                                   run.media.sampleRate, run.media.blockAlign, run.wav)
                             : writeWavHeaderPcm(run.audioOut, run.media.bitsPerSample, run.media.channels,
                                                 run.media.sampleRate, run.wav);
    // A format the header cannot state is as unusable as bad header text.
    if (!started && !run.audioOut.failed()) throw UnusableHeader{};
}

// The scan's rules from the reference: the size range of each NAL unit type (the camera's rules
// over what the reference measured), the slice and header word checks, the camera's tracks and
// the PCM chunk values.
void prepareRules(RepairRun& run, const std::string& parameterSets) {
    run.audioMinSize =
        run.audioTrack >= 0 ? run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)].minSize : 0;
    printLine("++ preset name: ", run.cameraPresetName);

    for (int type = 0; type < kNalTypeCount; ++type) {
        const NalTypeStats& entry = run.analysis.nalStats[std::size_t(type)];
        if (entry.seen() && entry.maxSize > 0) run.measured[std::size_t(type)] = {entry.minSize, entry.maxSize, false};
    }
    applyCameraRules(run.analysis, run.cameraPresetName, run.hevc(), std::cout);
    std::cout.flush();
    for (int type = 0; type < kNalTypeCount; ++type) {
        const NalTypeStats& entry = run.analysis.nalStats[std::size_t(type)];
        MeasuredRange& range = run.measured[std::size_t(type)];
        range.setByRules = entry.maxSize > 0 && (entry.minSize != range.minSize || entry.maxSize != range.maxSize);
    }
    run.slices.build(parameterSets, run.hevc());
    run.words.build(run.analysis, run.hevc());
    run.cameraTracks = CameraTrackTable(run.analysis);
    run.preset = PresetTraits::fromName(run.cameraPresetName);
    run.sharedFlag = run.hevc();
    setPcmChunkValues(run);
}

// The video output after the scan, closed. A delimiter or SEI written after the last picture
// opens an access unit without a picture (the cut went through its sample); decoders report it
// as an error at the stream's end.
bool finishVideo(RepairRun& run) {
    if (run.videoOut.isOpen() && run.videoOut.accepted() > run.pictureEnd) run.videoOut.truncate(run.pictureEnd);
    const bool written = run.videoOut.flush() && !run.videoOut.failed();
    return run.videoOut.close() && written;
}

// A WAV output's header completed with the sound that reached the file; true when there is
// none to complete.
bool completeWavHeader(RepairRun& run) {
    if (firstWavTrack(run.analysis) < 0 || !run.audioOut.isOpen() || run.wav.kind == WavKind::None) return true;
    // Count only what reached the file: after a failed write the total overstates it.
    const std::int64_t header =
        static_cast<std::int64_t>(run.wav.kind == WavKind::ImaAdpcm ? kAdpcmWavHeaderSize : kPcmWavHeaderSize);
    const std::int64_t onDisk = std::max<std::int64_t>(0, run.audioOut.committed() - header);
    const auto data = static_cast<std::uint64_t>(std::min(run.audio.audioTotal, onDisk));
    return run.formats.audio == AudioCoding::ImaAdpcm ? finishWavHeaderAdpcm(run.audioOut, run.wav, data)
                                                      : finishWavHeaderPcm(run.audioOut, run.wav, data);
}

}  // namespace

// Where a run writes: the two outputs and, for QuickTime IMA ADPCM, the packets decoded after
// the scan.
struct RunFiles {
    QString video;
    QString audio;
    QString packets;
    // QuickTime IMA ADPCM of a track of its own goes through the packets file; after an AAC
    // track its bytes follow the AAC header, as PCM does there.
    bool decodesPackets = false;

    RunFiles(const RepairRun& run, const QString& folder)
        : video(folder + kVideoStreamFileName),
          audio(audioOutputName(folder, run.formats.audio)),
          packets(folder + kQtImaPacketsFileName),
          decodesPackets(run.formats.audio == AudioCoding::ImaAdpcmQt && run.audioTrack >= 0 &&
                         run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)].sampleDescFormat !=
                             mp4::fourcc("mp4a")) {}

    void removeOutputs() const {
        QFile::remove(video);
        QFile::remove(audio);
    }
};

namespace {

// The audio output after the scan, closed; decoded to its WAV file when it holds packets.
bool finishAudio(RepairRun& run, const RunFiles& files) {
    bool ok = !run.audioOut.isOpen() || (run.audioOut.flush() && !run.audioOut.failed());
    ok = completeWavHeader(run) && ok;
    ok = run.audioOut.close() && ok;
    if (!files.decodesPackets) return ok;
    ok = ok && writeDecodedWav(files.packets, run.qtIma, run.media.sampleRate, files.audio);
    QFile::remove(files.packets);
    return ok;
}

std::unique_ptr<livePreview> previewFor(videoRepair* engine) {
    return std::make_unique<livePreview>([engine](const QImage& picture) {
        // Decoded beside the scan, a picture may finish after the window turned Preview off
        // or selected another row: it is then not sent.
        if (engine->previewEnabled.load() && engine->previewSelected.load()) emit engine->previewPicture(picture);
    });
}

}  // namespace

videoRepair::videoRepair() : stop_(ownStop_), preview_(previewFor(this)) {}

videoRepair::videoRepair(const std::atomic<bool>& cancel) : stop_(cancel), preview_(previewFor(this)) {}

// The preview's decoding thread emits through this object: it ends before the object does.
videoRepair::~videoRepair() { preview_.reset(); }

void videoRepair::setPreviewEnabled(bool enabled) { previewEnabled = enabled; }

void videoRepair::setPreviewSelected(bool selected) { previewSelected = selected; }

void videoRepair::stopFixer() { ownStop_ = true; }

void videoRepair::setChunkBytes(std::int64_t bytes) { chunkBytes_ = std::max(bytes, kMinChunkBytes); }

bool videoRepair::readVideoPreset(const QString& path, AnalysisResult& result, MediaInfo& media) {
    std::string unused;
    return ::readVideoPreset(path, result, media, run_ ? run_->cameraPresetName : unused);
}

int videoRepair::outputFailed(int result) {
    const OutputFile& output = result == kVideoOutputFailed ? run_->videoOut : run_->audioOut;
    outputError = output.error();
    return result;
}

void videoRepair::setResults(const QString& videoPath, const QString& audioPath) {
    isAac = !writesWav(run_->formats.audio);
    isHevc = run_->hevc();
    referenceHasAudio = run_->audioTrack >= 0;
    videoOutputPath = videoPath;
    audioOutputPath = audioPath;
    fps_den = run_->media.fpsDen;
    fps_num = run_->media.fpsNum;
}

int videoRepair::startFixer(QString source, QString referencePath, QString outputFolder) {
    int result = kRunFailed;
    try {
        result = run(source, referencePath, outputFolder);
    } catch (...) {
        // A failure the run raised (memory above all): files closed, results set, no finish.
        if (run_) {
            run_->source.close();
            run_->videoOut.close();
            run_->audioOut.close();
            preview_->closeVideoDecoder();
            setResults(outputFolder + kVideoStreamFileName, audioOutputName(outputFolder, run_->formats.audio));
        }
        QFile::remove(outputFolder + kQtImaPacketsFileName);
    }
    // A stop asked of this engine was for the run that has just ended.
    ownStop_ = false;
    return result;
}

int videoRepair::run(const QString& source, const QString& referencePath, const QString& outputFolder) {
    outputError = 0;
    sourcePath = source;
    emit statusFix("Repair started");
    run_ = std::make_unique<RepairRun>();
    RepairRun& run = *run_;

    const bool readWhole = readVideoPreset(referencePath, run.analysis, run.media);
    printLine("preset found: ", run.cameraPresetName);
    run.videoTrack = firstTrackOfType(run.analysis, 2);
    run.audioTrack = firstTrackOfType(run.analysis, 1);
    run.formats.video = videoCodingOf(run.analysis, run.videoTrack);
    run.formats.audio = audioCodingOf(run.media, run.audioTrack);

    const RunFiles files(run, outputFolder);
    files.removeOutputs();
    QFile::remove(files.packets);
    std::string parameterSets;
    int result = openFiles(source, readWhole, files);
    if (result == kFinished) result = writeHeaders(files, parameterSets);
    if (result == kFinished) result = checkTracks(files);
    if (result != kFinished) return result;
    // Where the stream's pictures begin: a stream that still ends here after the scan holds none.
    const std::int64_t headerEnd = run.pictureEnd;

    preview_->openVideoDecoder(run.hevc());
    prepareRules(run, parameterSets);
    emit statusFix("Scan...");
    const ScanEnd end = scan();
    emit statusFix("Finilizing process...");
    return finish(end, files, headerEnd);
}

int videoRepair::abandon(const RunFiles& files, int result, bool removeOutputs) {
    run_->source.close();
    run_->videoOut.close();
    run_->audioOut.close();
    if (files.decodesPackets) QFile::remove(files.packets);
    if (removeOutputs) files.removeOutputs();
    return result == kVideoOutputFailed || result == kAudioOutputFailed ? outputFailed(result) : result;
}

int videoRepair::openFiles(const QString& source, bool readWhole, const RunFiles& files) {
    RepairRun& run = *run_;
    if (!run.source.open(source)) return kSourceUnreadable;
    // What a partial read left (the first tracks, say) is no reference to repair by: the tracks
    // or the rules it lacks would make the scan take nothing and still report success. A source
    // that cannot be used is named first, as the user's own choice.
    if (!readWhole) return abandon(files, kNoTrackRecord);
    if (!run.videoOut.open(files.video)) return abandon(files, kVideoOutputFailed);
    if (run.audioTrack >= 0 && !run.audioOut.open(files.decodesPackets ? files.packets : files.audio))
        return abandon(files, kAudioOutputFailed);
    return kFinished;
}

int videoRepair::writeHeaders(const RunFiles& files, std::string& parameterSets) {
    RepairRun& run = *run_;
    try {
        if (run.videoTrack >= 0) parameterSets = writeVideoHeader(run, *preview_);
        if (run.audioTrack >= 0) writeAudioHeader(run, files.decodesPackets);
    } catch (const UnusableHeader&) {
        // As for a reference without tracks: no output at all.
        return abandon(files, kNoTrackRecord, true);
    }
    if (run.videoOut.failed()) return abandon(files, kVideoOutputFailed);
    if (run.audioOut.failed()) return abandon(files, kAudioOutputFailed);
    return kFinished;
}

int videoRepair::checkTracks(const RunFiles& files) {
    if (run_->analysis.tracks.empty()) return abandon(files, kNoTrackRecord);
    if (run_->videoTrack < 0) return abandon(files, kNoVideoTrack, true);
    return kFinished;
}

ScanEnd videoRepair::scan() {
    ScanHooks hooks;
    hooks.progress = [this](int percent) { emit statusFixProgress(percent); };
    hooks.videoRepair = [this] { emit statusFix("Video Repair"); };
    hooks.stop = &stop_;
    hooks.previewEnabled = &previewEnabled;
    hooks.previewSelected = &previewSelected;
    hooks.preview = preview_.get();
    return runScan(*run_, chunkBytes_, hooks);
}

int videoRepair::finish(ScanEnd end, const RunFiles& files, std::int64_t headerEnd) {
    RepairRun& run = *run_;
    const bool videoOk = finishVideo(run);
    const bool audioOk = finishAudio(run, files);
    run.source.close();
    preview_->closeVideoDecoder();
    setResults(files.video, files.audio);

    if (end == ScanEnd::SourceFailed) return kSourceUnreadable;
    if (end == ScanEnd::VideoWriteFailed || !videoOk) return outputFailed(kVideoOutputFailed);
    if (end == ScanEnd::AudioWriteFailed || !audioOk) return outputFailed(kAudioOutputFailed);
    if (end == ScanEnd::AudioWithoutVideo) return kAudioWithoutVideo;
    // A stopped run ends as asked, whatever it found so far.
    if (end == ScanEnd::DataEnded && run.pictureEnd <= headerEnd) return kNoVideoFound;
    return kFinished;
}
