#pragma once

#include <QStringList>

#include <functional>

class QAbstractItemModel;
class QAction;
class QMenu;
class QMimeData;
class QString;
class QTreeView;

// A menu entry with a check mark that only its handler changes: Qt flips a
// checkable action before triggered() fires, so the flip is undone before
// the handler runs, and the handler sees the mark as the user saw it.
QAction *addMarkAction(QMenu *menu, const QString &text, std::function<void()> handler);

// A plain menu entry running handler.
QAction *addPlainAction(QMenu *menu, const QString &text, std::function<void()> handler);

// The local file paths a drop carries, in their order.
QStringList droppedPaths(const QMimeData *mime);

// Sets a tree view up as a report-style list of model's rows: one selected
// row at a time, whole rows, no editing, no expanding, fixed column widths.
void setUpReportView(QTreeView *view, QAbstractItemModel *model, const QList<int> &widths);
