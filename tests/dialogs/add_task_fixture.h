#pragma once

#include "dialogs/add_task_dialog.h"
#include "support/test_app.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>

// The texts, tasks and filled dialog the tests of "添加任务" share.
using Answer = UserDialogs::Answer;

inline const QString kCopy = QStringLiteral("复制");
inline const QString kCut = QStringLiteral("剪贴");
inline const QString kDelete = QStringLiteral("删除");
inline const QString kTitleSays = QStringLiteral("Korvan说");
inline const QString kMissingForQueue = QStringLiteral("没有输入原文件地地或目地地址 请确认！");
inline const QString kMissingForNow = QStringLiteral("没有准确的目地地址");
inline const QString kSong = QStringLiteral("/home/ann/music/song.mp3");
inline const QString kBackup = QStringLiteral("/backup/");

inline QString alreadyQueued(const QString &path)
{
    return path + QStringLiteral("已在队列中,是否重新进入队列？");
}

inline MoveTask queuedTask(const QString &path, const QString &mode)
{
    MoveTask t;
    t.name = QFileInfo(path).fileName();
    t.sourcePath = path;
    t.destination = QStringLiteral("/old/");
    t.mode = mode;
    return t;
}

// The dialog showing a source, a destination and a remark, as a user leaves it.
inline Form4 &filledDialog(TestApp &app, const QString &source = kSong, const QString &dest = kBackup)
{
    Form4 &f = *app.form4;
    f.show();
    f.Text1->setText(source);
    f.Text3->setText(QFileInfo(source).fileName());
    f.Combo1->setCurrentText(dest);
    f.Text4->setText(QStringLiteral("周末"));
    return f;
}

inline QList<int> counts(const TestApp &app)
{
    const QueueCounters &c = app.ctx.queue.counters();
    return {c.copyCount, c.cutCount, c.deleteCount, c.totalCount};
}
