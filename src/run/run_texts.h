#pragma once

#include <QString>

// What the account of a run says: its outcome words, its lines and the row
// marks of tasks that stay queued.
namespace RunTexts {

inline const QString OutcomeDone = QStringLiteral("完成");
inline const QString OutcomeSkipped = QStringLiteral("部分跳过");
inline const QString OutcomeFailed = QStringLiteral("失败");
inline const QString OutcomeCancelled = QStringLiteral("已取消");

// One line per task: outcome, mode, source → destination.
inline const QString TaskLine = QStringLiteral("【%1】%2 %3 → %4");
inline const QString TaskLineNoDestination = QStringLiteral("【%1】%2 %3");
inline const QString ReasonLine = QStringLiteral("    原因：%1");
inline const QString ItemLine = QStringLiteral("    未完成：%1（%2）");
inline const QString NoteLine = QStringLiteral("    注意：%1");
inline const QString MoreItems = QStringLiteral("    …… 另有 %1 项未列出");
inline const QString MoreNotes = QStringLiteral("    …… 另有 %1 条注意未列出");

// The one line that sums a run up.
inline const QString AllDone = QStringLiteral("完成 %1 个任务。");
inline const QString SomeNotDone = QStringLiteral("%1 个任务中 %2 个完成，%3 个未成功。");
inline const QString DoneWithNotes = QStringLiteral("完成 %1 个任务，有 %2 条注意。");

// Where the main window says how the latest run ended.
inline const QString LastRun = QStringLiteral("上次运行：%1");

// The desktop notification after a long run.
inline const QString NotifyAllDone = QStringLiteral("Korvan：完成 %1 个任务");
inline const QString NotifySomeFailed = QStringLiteral("Korvan：完成 %1 个任务，%2 个失败");

// A task that could not be performed at all.
inline const QString UnknownMode = QStringLiteral("移动方式“%1”不是复制、剪贴或删除，未执行");

// The mark of a queued task that did not succeed: outcome and reason.
inline const QString RowMark = QStringLiteral("上次运行%1：%2");

} // namespace RunTexts

namespace RunTexts {

// The question before the program ends while work is pending.
inline const QString ExitWhileRunning = QStringLiteral(
    "正在执行文件操作，退出会安全地取消它（已做完的部分保留，未完成的不留下半个文件）。");
inline const QString ExitWithQueued = QStringLiteral("队列中还有 %1 个任务未执行，退出后不会保留。");
inline const QString ExitConfirm = QStringLiteral("确定退出吗？");

} // namespace RunTexts
