#pragma once
// The reference as the FFmpeg libraries read it for the media probe. The library makes a
// stream for every 'trak' box of the movie and opens a decoder for each while it reads the
// stream information, though the analysis keeps only the first AnalysisResult::kMaxTracks
// tracks: a reference holding a thousand copies of its video track took a thousand decoders.
// The library is handed the file's bytes with the type of every 'trak' box after the kept
// ones renamed 'free', a box it steps over, so it sees the tracks the analysis keeps.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/ffmpeg_handles.h"
#include "mp4/media_file.h"

class ProbeInput {
public:
    ProbeInput() = default;
    ProbeInput(const ProbeInput&) = delete;
    ProbeInput& operator=(const ProbeInput&) = delete;

    // Opens the file at `path` for the library with the movie's first `keptTracks` tracks in
    // view. Whatever the container, the library makes no more than `keptTracks` streams: a file
    // that needs more (one that is no movie the walk could read) is not opened. False when
    // the file cannot be opened (not a regular file, nothing the library reads).
    bool open(const std::string& path, std::size_t keptTracks);
    AVFormatContext* format() const { return format_.get(); }

    // The file's `count` bytes at `offset` as the library gets them; false when the file
    // holds fewer there.
    bool read(std::uint64_t offset, std::uint8_t* bytes, std::size_t count) const;

private:
    static int readPacket(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

    mp4::MediaFile file_;
    std::vector<std::uint64_t> hidden_;  // file offsets of the renamed box types, ascending
    std::uint64_t position_ = 0;
    IoContextPtr io_;
    FormatInputPtr format_;  // declared after io_: closed before the context it reads through
};
