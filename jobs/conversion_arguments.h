#pragma once
// The ffmpeg tool's argument list for one conversion: input, the options of the output
// format and its preset, the filter chain (deinterlace, rotation), the output.
#include <functional>

#include <QString>
#include <QStringList>

#include "jobs/conversion_preset.h"
#include "jobs/hardware_encoders.h"

// What the builder needs besides the format: the preset and rotation as read from the
// settings for this call, the source's stream details (used by the re-encode) and the job's
// hardware encoders with the probe that fills them on first need.
struct ConversionContext {
    conversionPreset preset;
    QString rotation;           // "GeneralRotation", empty when absent
    QString sourceVideoCodec;   // as the media probe names it ("h264", "hevc" ...)
    int sourceVideoBitRate = 0;  // kbit/s
    HardwareEncoderState* encoders = nullptr;
    std::function<void()> probeEncoders;  // may be empty: nothing is probed
};

// The encoder argument(s) for a codec name as the settings dialog lists it ("H.264", "DIVX" ...).
// A name outside the table gives the name itself lower-cased, so the tool reports it.
QStringList encoderForCodec(const QString& codecName, ConversionContext& context);

// A quarter turn ("Rotate left 90°", "Rotate right 90°") turns the preset's fixed size and
// aspect with the picture (1280 x 720 and 16:9 become 720 x 1280 and 9:16); the stored preset
// in `context` is left as it is.
QStringList buildConversionArguments(const QString& input, const QString& output, const QString& format,
                                     ConversionContext& context);
