#pragma once

#include "model/move_task.h"
#include "platform/file_operation.h"

#include <QObject>
#include <QString>

// Tells the windows that show a piece of the shared state that it changed.
class Module1Notifier : public QObject
{
    Q_OBJECT
signals:
    // defaultMode now holds another word.
    void defaultModeChanged(const QString &mode);
    // The destination picker's "确定" chose dest as defaultDest (also when
    // it already was).
    void defaultDestChosen(const QString &dest);
};

// The state every window shares, with its start-up values. The four
// counters live with the queue (MoveQueue::counters), which keeps them in
// step with its rows.
struct Module1
{
    // The mode word for tasks that enter without a dialog choice; the
    // add-task dialog's creation sets it to "复制". Windows write it through
    // setDefaultMode, so that every window showing it follows.
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

    // Writes defaultMode and, when the word changes, announces it.
    void setDefaultMode(const QString &mode);
    // Writes defaultDest as chosen in the destination picker and announces it.
    void chooseDefaultDest(const QString &dest);
    Module1Notifier notifier;
};
