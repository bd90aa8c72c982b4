#include "gui/widget_helpers.h"

#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QTextDocument>
#include <QTreeView>
#include <QUrl>

QAction *addMarkAction(QMenu *menu, const QString &text, std::function<void()> handler)
{
    QAction *a = menu->addAction(text);
    a->setCheckable(true);
    QObject::connect(a, &QAction::triggered, menu, [a, handler = std::move(handler)] {
        a->setChecked(!a->isChecked());
        handler();
    });
    return a;
}

QAction *addPlainAction(QMenu *menu, const QString &text, std::function<void()> handler)
{
    QAction *a = menu->addAction(text);
    QObject::connect(a, &QAction::triggered, menu, std::move(handler));
    return a;
}

QStringList droppedPaths(const QMimeData *mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl &url : mime->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

void setUpReportView(QTreeView *view, QAbstractItemModel *model, const QList<int> &widths)
{
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setExpandsOnDoubleClick(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setModel(model);
    view->header()->setStretchLastSection(false);
    for (int c = 0; c < widths.size(); ++c)
        view->setColumnWidth(c, widths.at(c));
}

QString escapeMnemonics(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&&"));
    return escaped;
}

QString plainToolTip(const QString &text)
{
    // Qt guesses the format of a tool tip and takes "<i>…" for markup; such
    // a text becomes rich text that says what the plain text says.
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void placeCentredBeside(QWidget *window, const QWidget *anchor)
{
    QScreen *screen = anchor && anchor->isVisible() ? anchor->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame is not known before the window manager has drawn it; allow
    // for a title bar and borders.
    const QMargins frame(4, 30, 4, 4);
    QRect box(QPoint(), window->size().grownBy(frame));
    box.moveCenter(area.center());
    if (anchor && anchor->isVisible()) {
        const int gap = 8;
        const QRect panel = anchor->frameGeometry().adjusted(-gap, -gap, gap, gap);
        if (box.intersects(panel)) {
            // Below the panel when there is room, else above, else beside it.
            if (panel.bottom() + box.height() <= area.bottom())
                box.moveTop(panel.bottom() + 1);
            else if (panel.top() - box.height() >= area.top())
                box.moveBottom(panel.top() - 1);
            else if (panel.right() + box.width() <= area.right())
                box.moveLeft(panel.right() + 1);
            else
                box.moveRight(panel.left() - 1);
        }
    }
    // Never off the screen: the top left corner wins on a screen too small.
    box.moveRight(qMin(box.right(), area.right()));
    box.moveBottom(qMin(box.bottom(), area.bottom()));
    box.moveLeft(qMax(box.left(), area.left()));
    box.moveTop(qMax(box.top(), area.top()));
    // Placed by its client area: before the first showing the window
    // manager may read a position as the frame's or as the client's, while
    // a geometry is always the client's.
    window->setGeometry(QRect(box.topLeft() + QPoint(frame.left(), frame.top()), window->size()));
}

void bringAbove(QWidget *window)
{
    window->raise();
    window->activateWindow();
}
