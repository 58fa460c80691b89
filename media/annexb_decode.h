#pragma once
// Decoding a joined Annex B buffer that may hold several access units: the decoder takes one
// picture per packet, so a parser splits the buffer and each access unit is sent on its own.
// Every picture the decoder returns is taken out, so it never refuses the next packet.
#include <cstdint>
#include <functional>

struct AVCodecContext;
struct AVFrame;

// Returns false to stop looking at pictures; the remaining ones are taken out and discarded.
using PictureSink = std::function<bool(const AVFrame* picture)>;

// Feeds `size` bytes at `data` (followed by the decoder's zeroed input padding) to the open
// decoder `context`, one access unit at a time, handing each picture to `sink` until it says
// stop. Does nothing for a null context.
void decodeAnnexB(AVCodecContext* context, const std::uint8_t* data, int size, const PictureSink& sink);

// Sends the `size` bytes at `data` (followed by the zeroed input padding) to `context` as one
// access unit, as they are, and hands the pictures that come out to `sink` until it says stop.
// For a caller that knows where its access units start: no parser splits them. False when the
// decoder refuses the unit.
bool decodeAccessUnit(AVCodecContext* context, const std::uint8_t* data, int size, const PictureSink& sink);

// Takes out the pictures `context` still holds back for reordering, handing them to `sink`
// until it says stop, and readies it for input that does not follow on: a decoder fed single
// pictures would otherwise show each one only when a later one pushes it out.
void drainDecoder(AVCodecContext* context, const PictureSink& sink);
