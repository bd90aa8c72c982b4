#pragma once

#include <QString>

// One queued operation; all six fields are text, in column order.
struct MoveTask
{
    enum Column { Name, SizeK, SourcePath, Destination, Mode, Remark, ColumnCount };

    QString name;
    QString sizeK;
    QString sourcePath;
    QString destination;
    QString mode;
    QString remark;

    QString field(int column) const;
    void setField(int column, const QString &value);
    static QString columnTitle(int column);
};

// A stable reference to a row of the queue or the candidate list. It stays
// valid while the row exists and resolves to nothing once the row is gone,
// so a handler that let the event loop run can tell whether its row survived.
using RowRef = quint64;
constexpr RowRef NoRow = 0;
