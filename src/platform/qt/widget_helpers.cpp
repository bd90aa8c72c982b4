#include "platform/qt/widget_helpers.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
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
