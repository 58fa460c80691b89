#pragma once
// The decoder of a bare H.264 or H.265 stream, as the repair's preview and its playback check
// open it. A damaged stream fills the FFmpeg log with complaints: the program sets the log's
// level once (media/ffmpeg_log.h), the decoder leaves it as it is.
#include "media/ffmpeg_handles.h"

// Whether the decoder hands out the pictures that come before the stream's first key picture
// (their references are missing, so they come marked corrupt) or holds them back.
enum class EarlyPictures { HeldBack, HandedOut };
// Whether a fault in a picture's slices makes the decoder refuse the picture, or conceal it.
enum class Strictness { ConcealFaults, RefuseFaults };

// Opens the H.265 (true) or H.264 decoder into `context`. Returns 0 when it is open, else
// AVERROR_DECODER_NOT_FOUND, AVERROR(ENOMEM) when no context could be allocated, or the
// negative result of opening it; `context` is then empty.
int openStreamDecoder(bool hevc, CodecContextPtr& context, EarlyPictures early = EarlyPictures::HeldBack,
                      Strictness strictness = Strictness::ConcealFaults);

// The decoder found errors in the picture's own slices. Unlike isDamagedFrame, a picture that
// is only marked corrupt (decoded without a fault, but from missing references) does not count.
inline bool hasDecodeErrors(const AVFrame* picture) { return picture->decode_error_flags != 0; }
