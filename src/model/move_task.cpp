#include "model/move_task.h"

#include "model/texts.h"

QString MoveTask::field(int column) const
{
    switch (column) {
    case Name: return name;
    case SizeK: return sizeK;
    case SourcePath: return sourcePath;
    case Destination: return destination;
    case Mode: return mode;
    case Remark: return remark;
    default: return QString();
    }
}

void MoveTask::setField(int column, const QString &value)
{
    switch (column) {
    case Name: name = value; break;
    case SizeK: sizeK = value; break;
    case SourcePath: sourcePath = value; break;
    case Destination: destination = value; break;
    case Mode: mode = value; break;
    case Remark: remark = value; break;
    default: break;
    }
}

QString MoveTask::columnTitle(int column)
{
    switch (column) {
    case Name: return Texts::ColumnName;
    case SizeK: return Texts::ColumnSize;
    case SourcePath: return Texts::ColumnSource;
    case Destination: return Texts::ColumnDestination;
    case Mode: return Texts::ColumnMode;
    case Remark: return Texts::ColumnRemark;
    default: return QString();
    }
}
