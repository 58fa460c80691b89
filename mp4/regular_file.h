#pragma once
// Opening only what is a regular file. A FIFO blocks open() until a writer comes (forever, for
// a name that nothing writes to), a device may act on being opened, and a folder has no bytes:
// none of them is a video, so every reader of a user's file asks here first.
#include <cstddef>
#include <cstdint>
#include <string>

namespace mp4 {

// True when `path` names a regular file, following symbolic links; nothing is opened.
bool isRegularFile(const std::string& path);

// The file at `path` opened for reading (close-on-exec), or -1 when it is not a regular file
// or cannot be opened. The path is checked before the open, and the opened file again, so a
// name that is swapped for a FIFO in between never blocks the caller either.
int openRegularFile(const std::string& path);
// The same, with the opened file's size in `size`.
int openRegularFile(const std::string& path, std::uint64_t& size);

// Reads up to `count` bytes at `offset` of the open file `fd` into `out`, going on after
// interrupted and partial reads, without moving the descriptor's position (so that threads may
// share it). Returns the bytes read, fewer than `count` only where the file ends, or -1 on a
// read error.
std::int64_t readFileAt(int fd, std::uint64_t offset, void* out, std::size_t count);

}  // namespace mp4
