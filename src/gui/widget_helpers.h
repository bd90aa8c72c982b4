#pragma once

#include <QStringList>

#include <functional>

class QAbstractItemModel;
class QAction;
class QMenu;
class QMimeData;
class QString;
class QTreeView;
class QWidget;

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

// Text for a caption that reads "&" as a shortcut marker (group box titles,
// buttons, menu entries): every "&" of a file name or user text is shown as
// it is and takes no shortcut.
QString escapeMnemonics(const QString &text);

// A tool tip that shows text literally, even when it looks like markup.
QString plainToolTip(const QString &text);

// Moves a top-level window, about to be shown, to the centre of the screen
// that holds anchor (the floating panel), and clear of anchor's own
// rectangle, so the panel that floats above every window never covers it.
// Without anchor the primary screen is used.
void placeCentredBeside(QWidget *window, const QWidget *anchor);

// Brings a shown window above the others and gives it the keyboard.
void bringAbove(QWidget *window);
