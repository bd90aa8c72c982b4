#include "platform/engine/file_op_params.h"

#include "platform/engine/engine_texts.h"

bool FileOpParams::fromRecord(const FileOpRecord &record, FileOpParams *params, QString *error)
{
    FileOpParams p;
    switch (record.wFunc) {
    case FileOpCode::Copy: p.mode = Mode::Copy; break;
    case FileOpCode::Move: p.mode = Mode::Move; break;
    case FileOpCode::Delete: p.mode = Mode::Trash; break;
    default: *error = EngineTexts::UnknownOperation.arg(record.wFunc); return false;
    }
    p.source = record.pFrom;
    p.destinationDir = record.pTo;
    p.askBeforeOverwrite = !(record.fFlags & FileOpFlag::NoConfirmation);
    p.askBeforeTrash = !(record.fFlags & FileOpFlag::NoConfirmation);
    p.askBeforeCreatingDestination = !(record.fFlags & FileOpFlag::NoConfirmMkdir);
    if (p.source.isEmpty()) {
        *error = EngineTexts::NoSource;
        return false;
    }
    if (p.mode != Mode::Trash && p.destinationDir.isEmpty()) {
        *error = EngineTexts::NoDestination;
        return false;
    }
    // Without FOF_ALLOWUNDO the shell would delete for good; this program
    // only ever deletes into the trash, so such a record is refused.
    if (p.mode == Mode::Trash && !(record.fFlags & FileOpFlag::AllowUndo)) {
        *error = EngineTexts::NoPermanentDelete.arg(p.source);
        return false;
    }
    *params = p;
    return true;
}
