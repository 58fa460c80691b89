#include "repair/video_repair.h"

#include <QFile>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <stdexcept>

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
    try {
        return hexToBytes(text);
    } catch (const std::invalid_argument&) {
        throw UnusableHeader{};
    }
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

}  // namespace

videoRepair::videoRepair()
    : preview_(std::make_unique<livePreview>([this](const QImage& picture) {
          // Decoded beside the scan, a picture may finish after the window turned Preview off
          // or selected another row: it is then not sent.
          if (previewEnabled.load() && previewSelected.load()) emit previewPicture(picture);
      })) {}

// The preview's decoding thread emits through this object: it ends before the object does.
videoRepair::~videoRepair() { preview_.reset(); }

void videoRepair::setPreviewEnabled(bool enabled) { previewEnabled = enabled; }

void videoRepair::setPreviewSelected(bool selected) { previewSelected = selected; }

void videoRepair::stopFixer() { stopRequest = true; }

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
    try {
        return run(source, referencePath, outputFolder);
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
        return kRunFailed;
    }
}

int videoRepair::run(const QString& source, const QString& referencePath, const QString& outputFolder) {
    stopRequest = false;
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

    const QString videoPath = outputFolder + kVideoStreamFileName;
    const QString audioPath = audioOutputName(outputFolder, run.formats.audio);
    const QString packetsPath = outputFolder + kQtImaPacketsFileName;
    QFile::remove(videoPath);
    QFile::remove(audioPath);
    QFile::remove(packetsPath);
    // QuickTime IMA ADPCM of a track of its own goes through the packets file; after an AAC
    // track its bytes follow the AAC header, as PCM does there.
    const bool decodesPackets =
        run.formats.audio == AudioCoding::ImaAdpcmQt &&
        run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)].sampleDescFormat != mp4::fourcc("mp4a");

    auto closeAll = [&] {
        run.source.close();
        run.videoOut.close();
        run.audioOut.close();
        if (decodesPackets) QFile::remove(packetsPath);
    };
    if (!run.source.open(source)) return kSourceUnreadable;
    // What a partial read left (the first tracks, say) is no reference to repair by: the tracks
    // or the rules it lacks would make the scan take nothing and still report success. A source
    // that cannot be used is named first, as the user's own choice.
    if (!readWhole) {
        closeAll();
        return kNoTrackRecord;
    }
    if (!run.videoOut.open(videoPath)) {
        closeAll();
        return outputFailed(kVideoOutputFailed);
    }
    if (run.audioTrack >= 0 && !run.audioOut.open(decodesPackets ? packetsPath : audioPath)) {
        closeAll();
        return outputFailed(kAudioOutputFailed);
    }

    std::string parameterSets;
    try {
        if (run.videoTrack >= 0) {
            TrackRecord& video = run.analysis.tracks[static_cast<std::size_t>(run.videoTrack)];
            const std::string bytes = headerBytes(video.videoHeaderHex);
            parameterSets = bytes;
            preview_->flushPreviewPackets();
            preview_->decodeTestPacket(video.videoHeaderHex);
            run.videoOut.write(bytes.data(), bytes.size());
            run.pictureEnd = run.videoOut.accepted();
        }
        if (run.audioTrack >= 0) {
            TrackRecord& audio = run.analysis.tracks[static_cast<std::size_t>(run.audioTrack)];
            if (audio.sampleDescFormat == mp4::fourcc("mp4a")) {
                const std::string bytes = headerBytes(audio.audioHeaderHex);
                run.audioOut.write(bytes.data(), bytes.size());
                // AAC runs can be told by their first frame's opening.
                aac::AdtsConfig config;
                if (run.media.audioCodecName == "aac" &&
                    aac::parseAudioHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), config)) {
                    run.formats.aacFirstElement = config.layout.front();
                    run.aacFrames = std::make_unique<aac::FrameProbe>();
                    if (!run.aacFrames->init(config)) run.aacFrames.reset();
                }
            } else if (decodesPackets) {
                // The WAV header is written with the decoded samples, after the scan.
                const WavFormat decoded{WavKind::Pcm, run.media.channels, run.media.sampleRate, 16, 0};
                if (!isWritableFormat(decoded) || !run.qtIma.open(run.media.channels, run.media.sampleRate))
                    throw UnusableHeader{};
            } else {
                const bool started =
                    run.formats.audio == AudioCoding::ImaAdpcm
                        ? writeWavHeaderAdpcm(run.audioOut, run.media.bitsPerSample, run.media.channels,
                                              run.media.sampleRate, run.media.blockAlign, run.wav)
                        : writeWavHeaderPcm(run.audioOut, run.media.bitsPerSample, run.media.channels,
                                            run.media.sampleRate, run.wav);
                // A format the header cannot state is as unusable as bad header text.
                if (!started && !run.audioOut.failed()) throw UnusableHeader{};
            }
        }
    } catch (const UnusableHeader&) {
        // As for a reference without tracks: no output at all.
        closeAll();
        QFile::remove(videoPath);
        QFile::remove(audioPath);
        return kNoTrackRecord;
    }
    if (run.videoOut.failed()) {
        closeAll();
        return outputFailed(kVideoOutputFailed);
    }
    if (run.audioOut.failed()) {
        closeAll();
        return outputFailed(kAudioOutputFailed);
    }

    if (run.analysis.tracks.empty()) {
        closeAll();
        return kNoTrackRecord;
    }
    if (run.videoTrack < 0) {
        closeAll();
        QFile::remove(videoPath);
        QFile::remove(audioPath);
        return kNoVideoTrack;
    }
    // Where the stream's pictures begin: a stream that still ends here after the scan holds none.
    const std::int64_t headerEnd = run.pictureEnd;

    preview_->openVideoDecoder(run.hevc());
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

    emit statusFix("Scan...");
    ScanHooks hooks;
    hooks.progress = [this](int percent) { emit statusFixProgress(percent); };
    hooks.videoRepair = [this] { emit statusFix("Video Repair"); };
    hooks.stop = &stopRequest;
    hooks.previewEnabled = &previewEnabled;
    hooks.previewSelected = &previewSelected;
    hooks.preview = preview_.get();
    const ScanEnd end = runScan(run, chunkBytes_, hooks);

    emit statusFix("Finilizing process...");
    // A delimiter or SEI written after the last picture opens an access unit without a picture
    // (the cut went through its sample); decoders report it as an error at the stream's end.
    if (run.videoOut.isOpen() && run.videoOut.accepted() > run.pictureEnd) run.videoOut.truncate(run.pictureEnd);
    const bool videoOk = run.videoOut.flush() && !run.videoOut.failed();
    bool audioOk = !run.audioOut.isOpen() || (run.audioOut.flush() && !run.audioOut.failed());
    const int wavTrack = [&] {
        for (std::size_t i = 0; i < run.analysis.tracks.size(); ++i) {
            const TrackRecord& t = run.analysis.tracks[i];
            if (t.typeIndex == 1 && t.sampleDescFormat != mp4::fourcc("mp4a")) return static_cast<int>(i);
        }
        return -1;
    }();
    if (wavTrack >= 0 && run.audioOut.isOpen() && run.wav.kind != WavKind::None) {
        // Count only what reached the file: after a failed write the total overstates it.
        const std::int64_t header = static_cast<std::int64_t>(
            run.wav.kind == WavKind::ImaAdpcm ? kAdpcmWavHeaderSize : kPcmWavHeaderSize);
        const std::int64_t onDisk = std::max<std::int64_t>(0, run.audioOut.committed() - header);
        const auto data = static_cast<std::uint64_t>(std::min(run.audio.audioTotal, onDisk));
        const bool done = run.formats.audio == AudioCoding::ImaAdpcm
                              ? finishWavHeaderAdpcm(run.audioOut, run.wav, data)
                              : finishWavHeaderPcm(run.audioOut, run.wav, data);
        audioOk = audioOk && done;
    }
    const bool videoClosed = run.videoOut.close();
    const bool audioClosed = run.audioOut.close();
    if (decodesPackets) {
        audioOk = audioOk && audioClosed && writeDecodedWav(packetsPath, run.qtIma, run.media.sampleRate, audioPath);
        QFile::remove(packetsPath);
    }
    run.source.close();
    preview_->closeVideoDecoder();
    setResults(videoPath, audioPath);

    if (end == ScanEnd::SourceFailed) return kSourceUnreadable;
    if (end == ScanEnd::VideoWriteFailed || !videoOk || !videoClosed) return outputFailed(kVideoOutputFailed);
    if (end == ScanEnd::AudioWriteFailed || !audioOk || !audioClosed) return outputFailed(kAudioOutputFailed);
    if (end == ScanEnd::AudioWithoutVideo) return kAudioWithoutVideo;
    // A stopped run ends as asked, whatever it found so far.
    if (end == ScanEnd::DataEnded && run.pictureEnd <= headerEnd) return kNoVideoFound;
    return kFinished;
}
