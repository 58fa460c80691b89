#include "jobs/child_programs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

namespace {

struct ProgramRow {
    ChildProgram program;
    const char* name;
    bool besideApplication;  // else looked up on PATH
};

const ProgramRow kPrograms[] = {
    {ChildProgram::ReferenceAnalysis, "Ordwick", true},
    {ChildProgram::AudioRepair, "Brannoc", true},
    {ChildProgram::Ffmpeg, "ffmpeg", false},
};

#ifdef Q_OS_WIN
const char* const kExecutableSuffix = ".exe";
#else
const char* const kExecutableSuffix = "";
#endif

QMutex overridesLock;
QString overrides[3];

int indexOf(ChildProgram program) { return static_cast<int>(program); }

}  // namespace

QString defaultChildProgramPath(ChildProgram program, const QString& applicationDir) {
    for (const ProgramRow& row : kPrograms) {
        if (row.program != program) continue;
        const QString name = QString::fromLatin1(row.name) + kExecutableSuffix;
        if (row.besideApplication) return QFileInfo(QDir(applicationDir), name).absoluteFilePath();
        const QString found = QStandardPaths::findExecutable(name);
        return found.isEmpty() ? name : QFileInfo(found).absoluteFilePath();
    }
    return QString();
}

QString childProgramPath(ChildProgram program) {
    {
        QMutexLocker lock(&overridesLock);
        if (!overrides[indexOf(program)].isEmpty()) return overrides[indexOf(program)];
    }
    return defaultChildProgramPath(program, QCoreApplication::applicationDirPath());
}

void setChildProgramOverride(ChildProgram program, const QString& path) {
    QMutexLocker lock(&overridesLock);
    overrides[indexOf(program)] = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}
