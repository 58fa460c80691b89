#pragma once
// Structure analysis of the reference video: tracks, sample descriptions, parameter sets,
// sample signatures and the per-type NAL unit statistics.
#include <string>

#include "mp4/es_descriptor.h"
#include "mp4/format_table.h"
#include "mp4/movie.h"
#include "mp4/sample_entry.h"
#include "mp4/sample_reader.h"
#include "reference/records.h"

// Fills `result` from the file at `path`; prints "ERROR: cannot open input file <path>" when
// the file cannot be opened, leaving `result` as it was.
void parseMp4File(const std::string& path, AnalysisResult& result);

// Fills result.tracks[row] from `track`, reading the samples of non-audio tracks through `reader`.
void analyseTrack(const mp4::Track& track, int row, mp4::SampleReader& reader, AnalysisResult& result);

// Adds the facts of one sample description to result.tracks[row]; with several descriptions
// the numbers of the last one stay and the parameter-set text grows. Returns the
// description's type.
mp4::DescriptionType describeSampleEntry(const mp4::SampleEntry& entry, int row, AnalysisResult& result);

// The 7-byte ADTS header built from an 'mp4a' record's rate, channels, object type and sample
// size; a rate outside the AAC sampling-frequency table uses index 15. The profile, the
// sampling-frequency index and the channel configuration come from the track's decoder
// configuration (`config`, when there is one) wherever it gives a value the header can carry.
// A configuration whose channels are in a program config element gives channel configuration
// 0 and that element behind the 7 bytes (its id first, whole bytes).
std::vector<std::uint8_t> adtsHeaderFor(const TrackRecord& track, const mp4::AudioSpecificConfig* config = nullptr);
