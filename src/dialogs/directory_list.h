#pragma once

#include <QTreeWidget>

// The pickers' directory list: the chain of folders from "/" down to the
// current folder, then the current folder's own subfolders (hidden ones
// left out). Double-click or Enter on a folder makes it the current one.
class DirectoryList : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DirectoryList(QWidget *parent = nullptr);

    // The folder the list shows as current (open).
    QString path() const { return m_path; }
    // The folder highlighted in the list (a single click on a folder), or
    // the open one when none is.
    QString highlightedPath() const;
    // Shows path as current, whether or not it can be listed.
    void setPath(const QString &path);
    // Makes path current when it is a folder that can be opened; false
    // (and nothing changes) otherwise.
    bool openFolder(const QString &path);
    // Reads the current folder's subfolders again.
    void refresh();
    // The names listed under the current folder, in their order.
    QStringList subfolderNames() const;
    // Scrolls a subfolder of the current folder into view, leaving the
    // current folder highlighted.
    void showSubfolder(const QString &name);

signals:
    void pathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    static bool canOpen(const QString &path);

    QString m_path;
    QTreeWidgetItem *m_currentItem = nullptr;
};
