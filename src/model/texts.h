#pragma once

#include <QString>

// Every user-visible text of the queue model and the windows that share it,
// spelled exactly as the program shows it.
namespace Texts {

// Move modes.
inline const QString ModeCopy = QStringLiteral("复制");
inline const QString ModeCut = QStringLiteral("剪贴");
inline const QString ModeDelete = QStringLiteral("删除");
// Destination word of candidate delete rows.
inline const QString RecycleBin = QStringLiteral("回收站");

// Queue columns.
inline const QString ColumnName = QStringLiteral("文件名");
inline const QString ColumnSize = QStringLiteral("文件大小(K)");
inline const QString ColumnSource = QStringLiteral("原物理地址");
inline const QString ColumnDestination = QStringLiteral("目地地址");
inline const QString ColumnMode = QStringLiteral("移动方式");
inline const QString ColumnRemark = QStringLiteral("备注");

// Summary rows: keys, start-up texts, running texts (prefix + count + suffix).
inline const QString SummaryKeyCopy = QStringLiteral("copy");
inline const QString SummaryKeyCut = QStringLiteral("cut");
inline const QString SummaryKeyDelete = QStringLiteral("dele");
inline const QString SummaryKeyAll = QStringLiteral("allfile");
inline const QString SummaryStartCopy = QStringLiteral("复制的文件共有0个");
inline const QString SummaryStartCut = QStringLiteral("剪贴的文件共有0个");
inline const QString SummaryStartDelete = QStringLiteral("删除的文件共有0个");
inline const QString SummaryStartAll = QStringLiteral("移动文件的总和为0");
inline const QString SummaryCopyPrefix = QStringLiteral("复制的文件有");
inline const QString SummaryCutPrefix = QStringLiteral("剪贴的文件有");
inline const QString SummaryDeletePrefix = QStringLiteral("删除的文件有");
inline const QString SummaryAllPrefix = QStringLiteral("共要移动的文件个数有");
inline const QString SummarySuffix = QStringLiteral("个");

// Titles.
inline const QString TitleKorvan = QStringLiteral("Korvan");
// Entries both the queue menu and the panel menu carry.
inline const QString MenuNewTask = QStringLiteral("新建任务...");
inline const QString MenuStartAll = QStringLiteral("全部开始");
inline const QString MenuPauseAll = QStringLiteral("全部暂停");
inline const QString TitleKorvanSays = QStringLiteral("Korvan说");

// Duplicate questions (the path goes first).
inline const QString AlreadyQueued = QStringLiteral("已在队列中,是否重新进入队列？");
inline const QString AlreadyCandidate = QStringLiteral("已在候选队列中,是否重新进入队列？");

// Messages shared by several windows.
inline const QString NoRecord = QStringLiteral("当前没有指定记录，无法进行操作！！");

// The file dialogs' type column for a folder.
inline const QString FileDialogFolder = QStringLiteral("文件夹");

// Main window.
inline const QString Banner = QStringLiteral("Pellavo 精品奉献 追求完美与进步");
inline const QString QueueFrame = QStringLiteral("要移动的文件队列：");
// Painted in the empty queue list, which holds no row for it.
inline const QString EmptyQueueHint = QStringLiteral("把文件或文件夹拖到浮动面板上即可加入队列");
inline const QString ReportFrame = QStringLiteral("报告：");
inline const QString DriveToolTip = QStringLiteral("显示当前驱动器的所剩空间");

// Queue runner. The engine does one operation at a time: "全部开始" while
// another operation (an immediate start) is going on keeps the queue as it
// is, and a run that finds the engine taken stops with the tasks it has not
// performed still queued.
inline const QString EngineBusyForRun = QStringLiteral("正在执行其他文件操作，队列保持不变；请等它完成后再全部开始！");
inline const QString EngineBusyDuringRun = QStringLiteral(
    "正在执行其他文件操作，队列已停止；没有执行的文件仍在队列中！");

} // namespace Texts
