#pragma once

#include <QList>
#include <QString>

class EventYield;
class MoveQueue;

// What a report line tells of a task.
struct ReportRow
{
    QString source;
    QString destination;
    QString remark;
};

// The rows of the queue as they are now; the report writes these, whatever
// happens to the queue while it yields.
QList<ReportRow> reportRows(const MoveQueue &queue);

struct ReportWrite
{
    enum class Outcome { Written, CannotOpen, CannotWrite };
    Outcome outcome = Outcome::Written;
    // Why it failed: the system's error number (errno), 0 when unknown.
    int error = 0;
};

// Appends rows to fileName as report lines in the report's encoding,
// yielding once before each row. The whole report goes out in one write,
// so two reports into the same file never interleave their lines; a write
// that fails is cut back off whole, leaving the file as it was.
ReportWrite appendReport(const QString &fileName, const QList<ReportRow> &rows, EventYield &yield);
