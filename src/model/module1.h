#pragma once

#include "model/move_task.h"
#include "platform/file_operation.h"

#include <QString>

// The state every window shares, with its start-up values. The four
// counters live with the queue (MoveQueue::counters), which keeps them in
// step with its rows.
struct Module1
{
    // The mode word for tasks that enter without a dialog choice; the
    // add-task dialog's creation sets it to "复制".
    QString defaultMode;
    // The add-task dialog's "use as default" box was ticked with a destination set.
    bool useDefaults = false;
    // The default destination directory, ending in one separator.
    QString defaultDest;
    // The one record handed to the file-operation engine; fields an
    // operation does not set keep the previous operation's values.
    FileOpRecord fileOp;
    bool pauseFlag = false;
    bool exitAllowed = false;

    // The queue row last clicked in the main window.
    RowRef currentRow = NoRow;
    // The candidate row last clicked in the candidate window.
    RowRef currentCandidate = NoRow;
    // The candidate open in the candidate window's row editor.
    RowRef newRow = NoRow;
};
