#pragma once

#include "candidates/candidate_window.h"
#include "support/test_app.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QRadioButton>
#include <QTreeView>
#include <QUrl>

// The texts the candidate tests compare with, written out as the user sees them.
inline const QString Korvan = QStringLiteral("Korvan");
inline const QString Copy = QStringLiteral("复制");
inline const QString Cut = QStringLiteral("剪贴");
inline const QString Delete = QStringLiteral("删除");
inline const QString Bin = QStringLiteral("回收站");
inline const QString NoDestTyped = QStringLiteral("目地地址没有输入 请再次输入 ！！");

// A candidate row with the fields the tests care about.
inline CandidateRow candidate(const QString &path, const QString &destination, const QString &mode, bool ticked = true,
                              const QString &remark = QString())
{
    CandidateRow c;
    c.name = path.mid(path.lastIndexOf(u'/') + 1);
    c.sourcePath = path;
    c.destination = destination;
    c.mode = mode;
    c.remark = remark;
    c.ticked = ticked;
    return c;
}

inline MoveTask queuedTask(const QString &path, const QString &destination, const QString &mode)
{
    MoveTask t;
    t.name = path.mid(path.lastIndexOf(u'/') + 1);
    t.sourcePath = path;
    t.destination = destination;
    t.mode = mode;
    return t;
}

// The candidate window, shown, as the drop intake leaves it.
inline Form7 &shownCandidateWindow(TestApp &app)
{
    Form7 *f = app.form7;
    f->show();
    return *f;
}

inline QStringList candidatePaths(const CandidateList &list)
{
    QStringList paths;
    for (int i = 0; i < list.count(); ++i)
        paths << list.at(i).sourcePath;
    return paths;
}

inline QStringList queuePaths(const MoveQueue &queue)
{
    QStringList paths;
    for (int i = 0; i < queue.count(); ++i)
        paths << queue.task(i).sourcePath;
    return paths;
}

// Drops file URLs on the list the way a file manager does, then lets the
// queued intake run. Returns whether the drop was accepted.
inline bool dropOnList(Form7 &f, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QWidget *viewport = f.ListView1->viewport();
    const QPoint at = viewport->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    QCoreApplication::processEvents();
    return enter.isAccepted() && drop.isAccepted();
}

inline bool dropPathsOnList(Form7 &f, const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    return dropOnList(f, urls);
}

inline QString summaryText(TestApp &app, int row)
{
    return app.ctx.summary.text(row);
}

inline bool modeOptionsClear(const Form7 &f)
{
    return !f.Option1->isChecked() && !f.Option2->isChecked() && !f.Option3->isChecked();
}
