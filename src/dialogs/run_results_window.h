#pragma once

#include <QWidget>

class AppContext;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "运行结果": the account of a run, or of an immediate start, that did not
// fully succeed. Per task its outcome, mode, source and destination, the
// reason, and the items and notes under it, as plain text the user can
// select, copy and have read out. Modeless; closing only hides it.
class RunResultsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit RunResultsWindow(AppContext &ctx);

    QLabel *summary = nullptr;
    QPlainTextEdit *account = nullptr;
    QPushButton *rerun = nullptr;
    QPushButton *copy = nullptr;
    QPushButton *closeButton = nullptr;

    // Fills the window from the latest account and shows it beside anchor.
    void showAccount(const QWidget *anchor);
    // Puts the account on the clipboard.
    void copyAccount();

signals:
    // "重新运行失败的任务": the queue, with what stayed in it, is to run.
    void rerunRequested();

private:
    AppContext &m_ctx;
};
