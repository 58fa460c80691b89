#pragma once
// The reference description: the XML document (root `videopreset`) that carries the probe's
// stream parameters, the preset name, the tracks and the per-type NAL unit statistics from
// Ordwick to the repair engine.
#include <cstdint>
#include <string>

#include <boost/property_tree/ptree.hpp>

#include "reference/records.h"

// A frame-rate value in its document form: at most six significant digits, no trailing
// zeros, no decimal point for whole numbers ("30000", "29.97", "0").
std::string formatFrameRate(float value);

// The signed decimal of a 32-bit field's bits, so that the reader gets every value back bit
// for bit (0xFFFFFFFF is written "-1").
std::string formatWord(std::uint32_t bits);

// The document's element tree; values are escaped when the tree is written.
boost::property_tree::ptree buildVideoPreset(const std::string& name, const std::string& presetName,
                                             const AnalysisResult& result, const MediaInfo& media);

// Writes the document to `path` through a temporary file in the same folder, renamed into
// place, so that a failed write leaves no partial document. Returns true when it was written.
bool writeVideoPreset(std::string path, std::string name, std::string presetName, const AnalysisResult& result,
                      const MediaInfo& media);
