#include "model/mode_operation.h"

#include "model/texts.h"

bool setOperationForMode(FileOpRecord &op, const QString &mode, const QString &destination)
{
    if (mode == Texts::ModeCopy) {
        op.wFunc = FileOpCode::Copy;
        op.fFlags = FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo;
        op.pTo = destination;
        return true;
    }
    if (mode == Texts::ModeCut) {
        op.wFunc = FileOpCode::Move;
        op.fFlags = FileOpFlag::NoConfirmMkdir | FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation;
        op.pTo = destination;
        return true;
    }
    if (mode == Texts::ModeDelete) {
        op.wFunc = FileOpCode::Delete;
        op.fFlags = FileOpFlag::AllowUndo | FileOpFlag::NoConfirmation;
        return true;
    }
    return false;
}

bool isModeWord(const QString &mode)
{
    return mode == Texts::ModeCopy || mode == Texts::ModeCut || mode == Texts::ModeDelete;
}
