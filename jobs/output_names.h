#pragma once
// File names a job writes: the extension of an output format, free names that never
// overwrite a file, the folder and base-name pieces they are made from, and the checks the
// job makes on the files behind them.
#include <QString>

// The extension for a format text (".avi", ".mp4" ...); empty for a format that converts nothing.
QString extensionForFormat(const QString& format);

// The conversion's extension for `input`: the re-encode keeps the input's complete suffix
// (".MOV" in any letter case, or no suffix at all, gives ".mp4"), every other format takes its
// table extension.
QString conversionExtension(const QString& format, const QString& input);

// `folder` and `name` joined by exactly one "/", whatever either side brings.
QString joinFolder(const QString& folder, const QString& name);

// The folder with one "/" at its end.
QString withTrailingSlash(const QString& folder);

// folder/base + extension when no such file exists, else folder/base(n) + extension for the
// smallest free n >= 1. Names of any length.
QString uniqueOutputName(const QString& folder, const QString& base, const QString& extension);

// The first of the names above that this call could create, as an empty file made only if no
// file of that name existed: from then on the name is the caller's, whatever other jobs or
// programs do in the folder. Empty when no name can be created there (a folder that cannot be
// written). A name that is taken is never touched.
QString reserveOutputName(const QString& folder, const QString& base, const QString& extension);

// Moves `file` to the name reserveOutputName gives in `folder` (on the same file system): the
// rename replaces only the empty file just reserved. The new path, or empty when no name
// could be reserved or the move failed (`file` then stays where it was).
QString moveToFreeName(const QString& file, const QString& folder, const QString& base, const QString& extension);

// The file name of `path` up to its last "." (the whole name when it has none).
QString baseUpToLastDot(const QString& path);
// The file name of `path` up to its first "." (the whole name when it has none).
QString baseUpToFirstDot(const QString& path);

// True when `path` names a regular file (no FIFO, device or folder), without opening it.
bool isRegularFile(const QString& path);
// Size of the file at `path`; -1 when there is none.
qint64 fileSizeOrMissing(const QString& path);
// Removes the file at `path` when there is one.
void removeIfExists(const QString& path);
