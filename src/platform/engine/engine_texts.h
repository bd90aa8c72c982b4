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
inline const QString DamagedFileSystem = QStringLiteral("文件系统已损坏，需要检查修复（例如用 fsck）");
inline const QString DamagedData = QStringLiteral("数据已损坏，无法读出（校验失败）");
// Items the target volume cannot hold, found before the first write.
// The question before the first write: nothing has failed yet.
inline const QString PreflightTitle = QStringLiteral("检查目标磁盘");
inline const QString PreflightHeader = QStringLiteral("目标磁盘不能保存以下 %1 个项目：");
inline const QString PreflightSkip = QStringLiteral("跳过这些项目");
inline const QString PreflightCancel = QStringLiteral("取消");
inline const QString PreflightCancelled = QStringLiteral("目标磁盘不能保存其中 %1 个项目，操作已取消，什么也没有写入");
inline const QString PreflightTooBigForFat = QStringLiteral("文件达到或超过 4 GiB，FAT 文件系统不能保存");
inline const QString PreflightForbiddenCharacter = QStringLiteral(
    "名称中有目标磁盘不允许的字符（< > : \" \\ | ? * 或控制字符）");
inline const QString PreflightTrailingDotOrSpace = QStringLiteral("名称以点或空格结尾，目标磁盘不允许");
inline const QString PreflightReservedName = QStringLiteral(
    "名称是保留的设备名（CON、PRN、AUX、NUL、COM1–COM9、LPT1–LPT9）");
inline const QString PreflightCaseClash = QStringLiteral("与“%1”只有大小写不同，目标磁盘不区分大小写");
inline const QString PreflightNameTooLongUnits = QStringLiteral("名称太长，目标磁盘最多允许 %1 个字符");
inline const QString PreflightNameTooLongBytes = QStringLiteral("名称太长，目标磁盘最多允许 %1 个字节");
inline const QString PreflightNoSymlinks = QStringLiteral("目标磁盘不能保存符号链接");
inline const QString PreflightNoSpace = QStringLiteral("需要 %1，目标磁盘只有 %2 可用");
inline const QString PreflightLine = QStringLiteral("%1 —— %2");
inline const QString PreflightMore = QStringLiteral("……另外还有 %1 个项目");
inline const QString CliPreflightItem = QStringLiteral("目标磁盘不能保存“%1”：%2");

// A copy read back from the medium that differs from its source.
inline const QString VerifyMismatch = QStringLiteral("校验失败：写入的内容与源不一致");
inline const QString StaleHandle = QStringLiteral("文件已失效（网络卷上的文件被别处删除或替换了）");
inline const QString NotConnected = QStringLiteral("连接已断开（网络卷或外部设备不再可用）");
inline const QString TimedOut = QStringLiteral("操作超时（网络卷或设备没有响应）");
inline const QString HostUnreachable = QStringLiteral("无法连接到网络卷所在的计算机");
inline const QString NoMedium = QStringLiteral("设备中没有介质（例如读卡器中没有卡）");
inline const QString NoDevice = QStringLiteral("设备不存在或已被拔出");
inline const QString TooManyOpenFiles = QStringLiteral("同时打开的文件太多");
inline const QString OutOfMemory = QStringLiteral("内存不足");
inline const QString NotSupported = QStringLiteral("这个文件系统不支持该操作");
inline const QString InvalidArgument = QStringLiteral("文件系统拒绝了该操作（参数无效，例如文件名中有它不允许的字符）");
inline const QString ValueTooLarge = QStringLiteral("文件太大，无法处理");
inline const QString NoData = QStringLiteral("没有可读的数据");
inline const QString TryAgain = QStringLiteral("资源暂时不可用，请稍后重试");
inline const QString Interrupted = QStringLiteral("操作被中断，请重试");
// Any other errno: the system's own text, kept in brackets.
inline const QString SystemError = QStringLiteral("系统错误（%1）");

// What was being done, as in "移动“…”失败：…".
inline const QString ActionFailed = QStringLiteral("%1“%2”失败：%3");
inline const QString ActionMove = QStringLiteral("移动");
inline const QString ActionCopy = QStringLiteral("复制");
inline const QString ActionDelete = QStringLiteral("删除");
inline const QString ActionRead = QStringLiteral("读取");
inline const QString ActionReadFolder = QStringLiteral("读取文件夹");
inline const QString ActionCreateFolder = QStringLiteral("创建文件夹");
inline const QString ActionRemoveSource = QStringLiteral("删除源文件");
inline const QString ActionRemoveSourceFolder = QStringLiteral("删除源文件夹");
inline const QString ActionOpenDestination = QStringLiteral("打开目标文件夹");
inline const QString SourceNotAbsolute = QStringLiteral("源路径必须是绝对路径");

// Refusals before a copy or move starts; %1 is the action ("复制"/"移动").
inline const QString UnreadableCharacters = QStringLiteral("（路径中含有无法识别的字符）");
inline const QString CannotActOnPath = QStringLiteral("不能%1这个路径");
inline const QString DestinationNotAbsolute = QStringLiteral("目标文件夹必须是绝对路径");
inline const QString SameLocation = QStringLiteral("源和目标是同一个位置");
inline const QString IntoOwnSubfolder = QStringLiteral("不能把文件夹%1到它自己的子文件夹中");
inline const QString DestinationNotFolder = QStringLiteral("目标不是文件夹");

// Reasons while copying a tree.
inline const QString UnsupportedFileType = QStringLiteral("不支持这种文件类型（设备、管道或套接字）");
inline const QString NoSpaceFor = QStringLiteral("目标磁盘空间不足：需要 %1，只有 %2 可用");
inline const QString NameTakenWhileReplacing = QStringLiteral("替换时目标位置又出现了同名的项目，它被保留了");
inline const QString FolderMovedAway = QStringLiteral("这个文件夹在复制时被移走或换掉了");
inline const QString SwappedWhileCopying = QStringLiteral("它在复制时被换成了别的类型（不是普通文件）");

// What could not be kept although the operation went on; %1 is the first path.
inline const QString NoteOwner = QStringLiteral("目标不允许保留所有者和组，例如“%1”");
inline const QString NoteExtendedAttributes = QStringLiteral("目标不能保存扩展属性（包括访问控制列表），例如“%1”");
inline const QString NoteHardLinks = QStringLiteral("目标不支持硬链接，同一文件的多个名字被分别复制，例如“%1”");
// A file replaced by a copy or move was set aside in the trash, and where it is.
inline const QString NoteReplacedSetAside = QStringLiteral("被替换的“%1”已移到回收站：“%2”");

// Records the engine refuses, and the runner's own refusals.
inline const QString UnknownOperation = QStringLiteral("未知的文件操作（wFunc = %1），没有执行任何操作。");
inline const QString NoSource = QStringLiteral("没有指定源路径，没有执行任何操作。");
inline const QString NoDestination = QStringLiteral("没有指定目标文件夹，没有执行任何操作。");
inline const QString NoPermanentDelete = QStringLiteral("不支持永久删除（缺少 FOF_ALLOWUNDO）：“%1”没有被删除。");
inline const QString EngineBusy = QStringLiteral("另一个文件操作正在进行，请等它结束。");
inline const QString EngineAborted = QStringLiteral("文件操作意外中止。");

// Sizes as FsUtil::formatSize writes them.
inline const QString SizeBytes = QStringLiteral(" 字节");
inline const QString SizeKB = QStringLiteral(" KB");
inline const QString SizeMB = QStringLiteral(" MB");
inline const QString SizeGB = QStringLiteral(" GB");

// How an operation ended.
inline const QString OperationCancelled = QStringLiteral("操作已取消。");
inline const QString SkippedItems = QStringLiteral("跳过了 %1 项。");
// An item skipped at the overwrite question, in the account of an operation.
inline const QString NotOverwritten = QStringLiteral("已有同名文件，未覆盖");

// Refusals and reasons of moves and the trash.
inline const QString TrashFailed = QStringLiteral("无法把“%1”移到回收站：%2。没有删除任何东西。");
inline const QString TrashNotAbsolute = QStringLiteral("路径不是绝对路径");
inline const QString TrashBadPath = QStringLiteral("不能删除这个路径");
inline const QString TrashNoHome = QStringLiteral("没有设置 HOME，找不到回收站");
inline const QString TrashNoVolumeTrash = QStringLiteral("它所在的卷（%1）上无法建立回收站（%2）");
inline const QString TrashEntrySwapped = QStringLiteral("它在替换前被换成了别的文件，没有动它");
inline const QString InsideTrash = QStringLiteral("它是回收站本身或在回收站之内");
inline const QString FileWhereFolderGoes = QStringLiteral("目标位置已有同名的文件，不能用文件夹替换它");
inline const QString FolderWhereFileGoes = QStringLiteral("目标位置已有同名的文件夹，不能用文件替换它");
inline const QString SameFile = QStringLiteral("源和目标是同一个文件");
inline const QString MergeRefused = QStringLiteral("%1；没有移动任何东西");
inline const QString CopyDiffers = QStringLiteral("复制后的文件与源不一致（源在复制时被改动），源没有被删除");
// A source entry that is no longer the one copied is left where it is.
inline const QString SourceChangedNotRemoved = QStringLiteral("它在复制后被改动或被换成了别的文件，所以没有删除它");
inline const QString CopyNotInPlace = QStringLiteral(
    "目标位置上找不到它完整的副本（目标卷可能在重命名时丢失了内容），所以没有删除它");
// A cross-volume move keeps what it copied in a record on the target's
// volume; one it cannot write or read back whole removes no source.
inline const QString RecordNotWritten = QStringLiteral("无法记下已复制的项目：%1");
inline const QString RecordDamaged = QStringLiteral("已复制项目的记录无法完整读回（%1），所以没有删除任何源文件");
inline const QString SourceSwapped = QStringLiteral(
    "这个文件夹在移动时被换成了别的东西（例如链接），所以没有删除其中的任何东西");
// A file a move replaces goes to the trash first; when it cannot, the move stops there.
inline const QString ActionReplace = QStringLiteral("替换");
inline const QString ReplacedNotTrashed = QStringLiteral("原有的文件无法移到回收站，所以没有替换它：%1");

// An operation is over only when what it wrote is on the device.
inline const QString ActionStore = QStringLiteral("写入磁盘");
inline const QString NotStored = QStringLiteral("写入的数据没有全部保存到磁盘上：%1");

// korvan-fileop, which answers no question and says so on stderr.
inline const QString CliTargetExists = QStringLiteral("目标已存在：%1");
inline const QString CliSkipped = QStringLiteral("跳过：%1“%2”失败：%3");
inline const QString CliNote = QStringLiteral("注意：");

// The engine's dialogs (src/platform/qt/engine_dialogs.*) and their owner.
inline const QString TitleCopying = QStringLiteral("正在复制");
inline const QString TitleMoving = QStringLiteral("正在移动");
inline const QString TitleTrashing = QStringLiteral("正在移到回收站");
inline const QString ActionPerform = QStringLiteral("执行文件操作");
inline const QString NoFigure = QStringLiteral("—");
inline const QString ConflictSide = QStringLiteral("%1\n大小：%2    修改时间：%3");
inline const QString PerSecond = QStringLiteral("/秒");
inline const QString AboutSeconds = QStringLiteral("约 %1 秒");
inline const QString AboutMinutes = QStringLiteral("约 %1 分 %2 秒");
inline const QString AboutHours = QStringLiteral("约 %1 小时 %2 分");
inline const QString ProgressTitle = QStringLiteral("文件操作");
inline const QString ProgressCount = QStringLiteral("已完成 %1 / %2 个文件，%3 / %4");
inline const QString ProgressSpeed = QStringLiteral("速度：%1    剩余时间：%2");
// The totals are still being counted beside the copy: they only grow.
inline const QString ProgressCounting = QStringLiteral("正在统计…");
inline const QString ProgressCountGrowing = ProgressCount + QStringLiteral("    ") + ProgressCounting;
inline const QString ProgressStoring = QStringLiteral("正在把数据写入磁盘，请稍候…");
// A copy read back from the medium: the bytes verified so far of all.
inline const QString ProgressVerifying = QStringLiteral("正在校验…  %1 / %2");
inline const QString Cancelling = QStringLiteral("正在取消…");
inline const QString ConflictTitle = QStringLiteral("确认文件替换");
inline const QString ConflictExisting = QStringLiteral("此位置已经有一个名为“%1”的文件。");
inline const QString ConflictWithThis = QStringLiteral("是否用这个文件：");
inline const QString ConflictReplaceThat = QStringLiteral("替换现有的文件：");
inline const QString ErrorTitle = QStringLiteral("文件操作出错");
inline const QString ErrorWhat = QStringLiteral("无法%1“%2”。");
inline const QString ErrorReason = QStringLiteral("原因：%1");
inline const QString ConfirmCreateFolder = QStringLiteral("目标文件夹“%1”不存在。要创建它吗？");
inline const QString ConfirmTrash = QStringLiteral("确实要把“%1”移到回收站吗？");
inline const QString ConfirmTitle = QStringLiteral("确认");
inline const QString ButtonOverwrite = QStringLiteral("覆盖");
inline const QString ButtonOverwriteAll = QStringLiteral("全部覆盖");
inline const QString ButtonSkip = QStringLiteral("跳过");
inline const QString ButtonCancel = QStringLiteral("取消");
inline const QString ButtonRetry = QStringLiteral("重试");
inline const QString ButtonOk = QStringLiteral("确定");

} // namespace EngineTexts
