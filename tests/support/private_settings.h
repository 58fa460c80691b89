#pragma once
// A configuration folder of the test program's own, so that no test reads or writes the user's
// settings: QSettings (all formats and scopes), XDG_CONFIG_HOME (inherited by the programs the
// tests start) and the movies folder all point into it.
#include <QString>

class QTemporaryDir;

namespace testsupport {

// Points the settings stores and the movies folder into `root`; false when that fails.
// Call before anything opens a settings store. The movies folder is named but left uncreated,
// as on a fresh account.
bool isolateSettings(const QTemporaryDir& root);

// The movies folder that isolateSettings named.
QString privateMoviesFolder(const QTemporaryDir& root);

}  // namespace testsupport
