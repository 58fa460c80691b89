#pragma once
// The FFmpeg libraries' log level is one setting for the whole process, so the program sets it
// once at its start and no library changes it under another's feet. Decoder complaints
// (media/decoder_complaints.h) are counted whatever the level; what they do not count goes to
// the library's default handler, which keeps to the level set here.
enum class FfmpegLogLevel {
    Default,  // the library's own (information, warnings and errors on standard error)
    Quiet,    // nothing: a damaged file makes the decoders complain of every picture
};

void setFfmpegLogLevel(FfmpegLogLevel level);
