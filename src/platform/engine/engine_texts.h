#pragma once

#include <QString>

// The engine's own user-visible texts (reasons and refusals), spelled as
// the user reads them. Texts built around a path or a number take it by %1.
namespace EngineTexts {

// Reasons for the common errno values; FsUtil::errorText() picks them.
inline const QString NoSpace = QStringLiteral("磁盘空间不足");
inline const QString NoPermission = QStringLiteral("没有权限");
inline const QString ReadOnly = QStringLiteral("只读文件系统");
inline const QString NotFound = QStringLiteral("找不到文件或文件夹");
inline const QString AlreadyExists = QStringLiteral("已有同名的文件或文件夹");
inline const QString NameTooLong = QStringLiteral("文件名太长");
inline const QString Busy = QStringLiteral("文件或设备正在使用中");
inline const QString NotEmpty = QStringLiteral("文件夹不是空的");
inline const QString TooManyLinks = QStringLiteral("链接太多");
inline const QString TooManySymlinks = QStringLiteral("符号链接的层数太多");
inline const QString QuotaExceeded = QStringLiteral("超出了磁盘配额");
inline const QString IoError = QStringLiteral("读写错误（输入/输出错误）");
inline const QString NotAFolder = QStringLiteral("路径中有一项不是文件夹");
inline const QString IsAFolder = QStringLiteral("这是一个文件夹");
inline const QString FileTooBig = QStringLiteral("文件太大");
inline const QString Cancelled = QStringLiteral("操作已取消");
inline const QString OtherVolume = QStringLiteral("不能跨卷重命名");
// Any other errno: the system's own text, kept in brackets.
inline const QString SystemError = QStringLiteral("系统错误（%1）");

// What was being done, as in "移动“…”失败：…".
inline const QString ActionFailed = QStringLiteral("%1“%2”失败：%3");
inline const QString ActionMove = QStringLiteral("移动");
inline const QString ActionDelete = QStringLiteral("删除");
inline const QString ActionRead = QStringLiteral("读取");
inline const QString ActionReadFolder = QStringLiteral("读取文件夹");
inline const QString ActionCreateFolder = QStringLiteral("创建文件夹");
inline const QString ActionRemoveSource = QStringLiteral("删除源文件");
inline const QString ActionRemoveSourceFolder = QStringLiteral("删除源文件夹");
inline const QString SourceNotAbsolute = QStringLiteral("源路径必须是绝对路径");

// How an operation ended.
inline const QString OperationCancelled = QStringLiteral("操作已取消。");
inline const QString SkippedItems = QStringLiteral("跳过了 %1 项。");

// Refusals and reasons of moves and the trash.
inline const QString TrashFailed = QStringLiteral("无法把“%1”移到回收站：%2。没有删除任何东西。");
inline const QString TrashNotAbsolute = QStringLiteral("路径不是绝对路径");
inline const QString TrashBadPath = QStringLiteral("不能删除这个路径");
inline const QString TrashNoHome = QStringLiteral("没有设置 HOME，找不到回收站");
inline const QString TrashNoVolumeTrash = QStringLiteral("它所在的卷（%1）上无法建立回收站（%2）");
inline const QString InsideTrash = QStringLiteral("它是回收站本身或在回收站之内");
inline const QString FileWhereFolderGoes = QStringLiteral("目标位置已有同名的文件，不能用文件夹替换它");
inline const QString FolderWhereFileGoes = QStringLiteral("目标位置已有同名的文件夹，不能用文件替换它");
inline const QString SameFile = QStringLiteral("源和目标是同一个文件");
inline const QString MergeRefused = QStringLiteral("%1；没有移动任何东西");
inline const QString CopyDiffers = QStringLiteral("复制后的文件与源不一致（源在复制时被改动），源没有被删除");
// A file a move replaces goes to the trash first; when it cannot, the move stops there.
inline const QString ActionReplace = QStringLiteral("替换");
inline const QString ReplacedNotTrashed = QStringLiteral("原有的文件无法移到回收站，所以没有替换它：%1");

} // namespace EngineTexts
