#include "dialogs/directory_list.h"

#include "gui/widget_helpers.h"
#include "model/folder_names.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>

namespace {

constexpr int PathRole = Qt::UserRole;

} // namespace

DirectoryList::DirectoryList(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setIndentation(12);
    // Every folder shown is open or openable by double-click: no branch
    // arrows that would suggest folding.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Opened after the click is over: opening rebuilds the items, the one
    // clicked included.
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (!item)
            return;
        const QString target = item->data(0, PathRole).toString();
        QMetaObject::invokeMethod(
            this, [this, target] { openFolder(target); }, Qt::QueuedConnection);
    });
}

void DirectoryList::setPath(const QString &path)
{
    m_path = QDir::cleanPath(path);
    refresh();
    emit pathChanged(m_path);
}

bool DirectoryList::openFolder(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (!canOpen(clean))
        return false;
    setPath(clean);
    return true;
}

bool DirectoryList::canOpen(const QString &path)
{
    const QFileInfo info(path);
    return info.isAbsolute() && info.isDir() && info.isExecutable();
}

void DirectoryList::refresh()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain "/", "/home", "/home/user"... ending at the current folder.
    QStringList chain;
    if (m_path.startsWith(u'/')) {
        chain << QStringLiteral("/");
        QString walked;
        const QStringList parts = m_path.split(u'/', Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            walked += u'/' + part;
            chain << walked;
        }
    } else if (!m_path.isEmpty()) {
        chain << m_path;
    }

    m_currentItem = nullptr;
    QTreeWidgetItem *parentItem = nullptr;
    for (const QString &folder : chain) {
        const QString label = folder == QStringLiteral("/") ? folder : QFileInfo(folder).fileName();
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, label);
        item->setIcon(0, openIcon);
        item->setData(0, PathRole, folder);
        item->setToolTip(0, plainToolTip(folder));
        item->setExpanded(true);
        parentItem = item;
    }
    if (!parentItem)
        return;
    m_currentItem = parentItem;
    QFont currentFont = parentItem->font(0);
    currentFont.setBold(true);
    parentItem->setFont(0, currentFont);

    const QStringList children = QDir(m_path).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                        QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString &name : children) {
        auto *item = new QTreeWidgetItem(parentItem);
        item->setText(0, name);
        item->setIcon(0, closedIcon);
        const QString full = joinFolderPath(m_path, name);
        item->setData(0, PathRole, full);
        item->setToolTip(0, plainToolTip(full));
    }
    setCurrentItem(parentItem);
    scrollToItem(parentItem);
}

QString DirectoryList::highlightedPath() const
{
    const QList<QTreeWidgetItem *> highlighted = selectedItems();
    if (highlighted.isEmpty())
        return m_path;
    return highlighted.first()->data(0, PathRole).toString();
}

QStringList DirectoryList::subfolderNames() const
{
    QStringList names;
    for (int i = 0; m_currentItem && i < m_currentItem->childCount(); ++i)
        names << m_currentItem->child(i)->text(0);
    return names;
}

void DirectoryList::showSubfolder(const QString &name)
{
    if (!m_currentItem)
        return;
    for (int i = 0; i < m_currentItem->childCount(); ++i) {
        QTreeWidgetItem *item = m_currentItem->child(i);
        if (item->text(0) == name) {
            scrollToItem(item);
            return;
        }
    }
}

void DirectoryList::keyPressEvent(QKeyEvent *event)
{
    // Enter opens the folder and goes no further: the picker's default
    // button must not take it as "确定".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (QTreeWidgetItem *item = currentItem())
            openFolder(item->data(0, PathRole).toString());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
