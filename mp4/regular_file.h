#pragma once
// Opening only what is a regular file. A FIFO blocks open() until a writer comes (forever, for
// a name that nothing writes to), a device may act on being opened, and a folder has no bytes:
// none of them is a video, so every reader of a user's file asks here first.
#include <string>

namespace mp4 {

// True when `path` names a regular file, following symbolic links; nothing is opened.
bool isRegularFile(const std::string& path);

// The file at `path` opened for reading (close-on-exec), or -1 when it is not a regular file
// or cannot be opened. The path is checked before the open, and the opened file again, so a
// name that is swapped for a FIFO in between never blocks the caller either.
int openRegularFile(const std::string& path);

}  // namespace mp4
