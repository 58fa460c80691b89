#pragma once
// Which hardware encoders the ffmpeg tool offers and which of them actually work. Listed
// encoders may still fail to open (no device), so the two NVENC ones get a one-frame test.
#include <functional>
#include <string>

#include <QStringList>

class ChildProcessRunner;

enum HardwareEncoder { H264Nvenc, HevcNvenc, H264VideoToolbox, HevcVideoToolbox, kHardwareEncoderCount };
extern const char* const kHardwareEncoderNames[kHardwareEncoderCount];

struct HardwareEncoderState {
    bool probed = false;  // never cleared: the probe runs once in a job's life
    bool listed[kHardwareEncoderCount] = {};
    bool failed[kHardwareEncoderCount] = {};

    bool usable(HardwareEncoder encoder) const { return listed[encoder] && !failed[encoder]; }
};

// Texts in ffmpeg's output that tell an encoder failed.
bool reportsEncoderFailure(const std::string& output);

// Sets `listed` from the text of "ffmpeg -v quiet -encoders".
void readEncoderList(const std::string& listing, HardwareEncoderState& state);

// The probe: lists the encoders, then test-encodes one frame with each listed NVENC encoder.
// Runs once; later calls return at once.
void probeHardwareEncoders(const ChildProcessRunner& runner, const QString& ffmpeg, HardwareEncoderState& state);

// After a failed conversion: the first argument naming one of the four hardware encoders
// marks it failed. False when no argument names one (the failure was not the encoder's).
bool markFailedEncoder(const QStringList& arguments, HardwareEncoderState& state);

// The argument lists of the probe's two ffmpeg runs.
QStringList encoderListArguments();
QStringList encoderTestArguments(const QString& encoder);
