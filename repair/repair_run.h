#pragma once
// The one state of a repair run: what the reference said, what the run decided from it, the
// files it reads and writes and the scan's running values. Created fresh by every startFixer,
// so nothing carries over from one run to the next.
#include <cstdint>
#include <string>
#include <vector>

#include "reference/records.h"
#include "repair/audio_extraction.h"
#include "repair/camera_tracks.h"
#include "repair/header_word_table.h"
#include "repair/output_file.h"
#include "repair/packet_list.h"
#include "repair/preset_traits.h"
#include "repair/source_file.h"
#include "repair/wav_header.h"

// Preset tests the scan needs beyond the shared traits, decided once per run.
struct ScanPresetTests {
    bool canonSliceWords = false;  // contains "canon" and not "600d": type-1 Canon fallback words
    bool mark4 = false;            // contains "5d mark iv"
    bool canon6d = false;          // exactly "canon eos 6d"
    bool pairsPcmRuns = false;     // contains "sony", "nikon", "panasonic" or "icat"

    static ScanPresetTests fromName(const std::string& name);
};

struct RepairRun {
    // From the reference description.
    AnalysisResult analysis;
    MediaInfo media;
    std::string cameraPresetName;
    PresetTraits preset;
    ScanPresetTests tests;
    HeaderWordTable words;
    CameraTrackTable cameraTracks;

    // Decided before the scan.
    int videoTrack = -1;
    int audioTrack = -1;
    bool hevc = false;
    std::int32_t audioMinSize = 0;
    AudioRunBook audio;  // PCM chunk values and the audio bookkeeping
    WavFormat wav;

    // Files.
    SourceFile source;
    OutputFile videoOut;
    OutputFile audioOut;

    // The recognised packets, in order.
    PacketList packets;

    // Scan values.
    std::int64_t videoTotal = 0;     // payload bytes written to the video output
    bool specialSeen = false;
    std::int64_t expectedJunk = -1;  // junk length announced by a special packet, -1 for none
    bool sharedFlag = false;
    bool videoRepairSent = false;
};
