#pragma once
// The one state of a repair run: what the reference said, what the run decided from it, the
// files it reads and writes and the scan's running values. Created fresh by every startFixer,
// so nothing carries over from one run to the next.
#include <array>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "media/aac_frame_probe.h"
#include "reference/records.h"
#include "repair/audio_extraction.h"
#include "repair/camera_tracks.h"
#include "repair/header_word_table.h"
#include "repair/output_file.h"
#include "repair/packet_list.h"
#include "repair/preset_traits.h"
#include "repair/qt_ima_decoder.h"
#include "repair/run_formats.h"
#include "repair/slice_header_check.h"
#include "repair/source_file.h"
#include "repair/wav_header.h"

// A NAL unit type's size range as the reference itself showed it, before the camera rules.
struct MeasuredRange {
    std::uint32_t minSize = 0;
    std::uint32_t maxSize = 0;  // 0: the reference held no unit of the type
    bool setByRules = false;    // the camera rules replaced it with a fixed range
};

struct RepairRun {
    // From the reference description.
    AnalysisResult analysis;
    MediaInfo media;
    std::string cameraPresetName;
    PresetTraits preset;
    HeaderWordTable words;
    std::array<MeasuredRange, kNalTypeCount> measured;
    SliceHeaderCheck slices;
    CameraTrackTable cameraTracks;

    // Decided before the scan.
    int videoTrack = -1;
    int audioTrack = -1;
    RunFormats formats;
    bool hevc() const { return formats.hevc(); }
    std::int32_t audioMinSize = 0;
    AudioRunBook audio;  // PCM chunk values and the audio bookkeeping
    WavFormat wav;
    QtImaDecoder qtIma;  // open when QuickTime IMA ADPCM packets are decoded after the scan
    std::unique_ptr<aac::FrameProbe> aacFrames;  // tells the frames of AAC sound

    // Files.
    SourceFile source;
    OutputFile videoOut;
    OutputFile audioOut;

    // The recognised packets, in order.
    PacketList packets;

    // Scan values.
    std::int64_t videoTotal = 0;     // payload bytes written to the video output
    // Video output bytes up to the end of the last picture unit (the header's end before the
    // first): delimiters and SEI behind it belong to a picture the file cuts off.
    std::int64_t pictureEnd = 0;
    bool specialSeen = false;
    std::int64_t expectedJunk = -1;  // junk length announced by a special packet, -1 for none
    bool sharedFlag = false;
    bool videoRepairSent = false;
};
