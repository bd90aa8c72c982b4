#pragma once

#include <QDialog>

class AppContext;
class QPushButton;

// The destination picker "保存到的目录": a modal window, made afresh for each
// showing. On "确定" it stores the chosen directory in defaultDest and offers
// it to the add-task dialog's destination box; "取消" changes nothing.
class Form5 : public QDialog
{
    Q_OBJECT
public:
    explicit Form5(AppContext &ctx, QWidget *parent = nullptr);

    // The directory the directory list shows as current.
    QString currentPath() const;
    void setCurrentPath(const QString &path);

    QPushButton *Command3 = nullptr; // "确定"
    QPushButton *Command2 = nullptr; // "取消"
    QPushButton *Command1 = nullptr; // "新建文件夹"

private:
    AppContext &m_ctx;
    QString m_path;
};

// The directory picker "要移动的正个目录": chooses a whole directory as the
// add-task dialog's source.
class Form2 : public QDialog
{
    Q_OBJECT
public:
    explicit Form2(AppContext &ctx, QWidget *parent = nullptr);

    QString currentPath() const;
    void setCurrentPath(const QString &path);

    QPushButton *Command2 = nullptr; // "确定"
    QPushButton *Command1 = nullptr; // "取消"

private:
    AppContext &m_ctx;
    QString m_path;
};

// Shows Form5 modally through the dialogs service and waits until it closes.
void showForm5(AppContext &ctx);
// Shows Form2 modally through the dialogs service and waits until it closes.
void showForm2(AppContext &ctx);
