#include "platform/engine/file_op_params.h"

bool FileOpParams::fromRecord(const FileOpRecord &record, FileOpParams *params, QString *error)
{
    FileOpParams p;
    switch (record.wFunc) {
    case FileOpCode::Copy: p.mode = Mode::Copy; break;
    case FileOpCode::Move: p.mode = Mode::Move; break;
    case FileOpCode::Delete: p.mode = Mode::Trash; break;
    default:
        *error = QStringLiteral("未知的文件操作（wFunc = %1），没有执行任何操作。").arg(record.wFunc);
        return false;
    }
    p.source = record.pFrom;
    p.destinationDir = record.pTo;
    p.askBeforeOverwrite = !(record.fFlags & FileOpFlag::NoConfirmation);
    p.askBeforeTrash = !(record.fFlags & FileOpFlag::NoConfirmation);
    p.askBeforeCreatingDestination = !(record.fFlags & FileOpFlag::NoConfirmMkdir);
    if (p.source.isEmpty()) {
        *error = QStringLiteral("没有指定源路径，没有执行任何操作。");
        return false;
    }
    if (p.mode != Mode::Trash && p.destinationDir.isEmpty()) {
        *error = QStringLiteral("没有指定目标文件夹，没有执行任何操作。");
        return false;
    }
    // Without FOF_ALLOWUNDO the shell would delete for good; this program
    // only ever deletes into the trash, so such a record is refused.
    if (p.mode == Mode::Trash && !(record.fFlags & FileOpFlag::AllowUndo)) {
        *error = QStringLiteral("不支持永久删除（缺少 FOF_ALLOWUNDO）：“%1”没有被删除。").arg(p.source);
        return false;
    }
    *params = p;
    return true;
}
