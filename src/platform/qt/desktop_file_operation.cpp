#include "platform/qt/desktop_file_operation.h"

DesktopFileOperation::DesktopFileOperation(QWidget *) {}

FileOpResult DesktopFileOperation::perform(const FileOpRecord &)
{
    return {FileOpResult::Status::Failed, QStringLiteral("文件操作引擎尚不可用")};
}
