#include "jobs/child_programs.h"

#include <QCoreApplication>
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

QMutex overridesLock;
QString overrides[3];

int indexOf(ChildProgram program) { return static_cast<int>(program); }

}  // namespace

QString childProgramPath(ChildProgram program) {
    {
        QMutexLocker lock(&overridesLock);
        if (!overrides[indexOf(program)].isEmpty()) return overrides[indexOf(program)];
    }
    for (const ProgramRow& row : kPrograms) {
        if (row.program != program) continue;
        if (row.besideApplication) {
            const QFileInfo beside(QCoreApplication::applicationDirPath() + "/" + row.name);
            if (beside.isExecutable()) return beside.absoluteFilePath();
        } else {
            const QString found = QStandardPaths::findExecutable(row.name);
            if (!found.isEmpty()) return found;
        }
        return row.name;
    }
    return QString();
}

void setChildProgramOverride(ChildProgram program, const QString& path) {
    QMutexLocker lock(&overridesLock);
    overrides[indexOf(program)] = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}
