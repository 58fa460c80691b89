#pragma once
// What a row shows when its job has ended: the status code's text, and for repair jobs what
// the repair itself came to.
#include <QString>

#include "jobs/repair_outcome.h"
#include "ui/row_look.h"

// The text of a status code (the codes follow a common numbering of transfer errors; the
// jobs send only 0, 42 and 102); "UNKNOWN STATUS" for a code outside the table. Translated in
// the context "MainWindow".
QString statusCodeTextOf(int code);

struct JobEnd {
    RowLook look;
    QString statusText;
    bool resetsProgress;  // the Progress cell goes back to 0
};

// How a job's end shows: `status` as endConvert carried it, `repairJob` whether the run had a
// repair phase, `repairedFileKept` whether that phase left a repaired file the job kept, and
// `outcome` how that phase ended. A failed repair shows its cause; "can't repair with this
// reference" stands for a cause the job did not name. A repair whose conversion failed says
// so, and that the repaired file is still there; one that lost its sound is no full success.
JobEnd describeJobEnd(int status, bool repairJob, bool repairedFileKept,
                      RepairOutcome outcome = RepairOutcome::NotRun);
