#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/file_op_params.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

// Shows how a running file operation gets on; Cancel (or closing the
// window) asks for the operation to stop and leaves the window open until
// the operation has really stopped.
class EngineProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit EngineProgressDialog(QWidget *parent = nullptr);

    // "正在复制" and the like.
    void setOperationTitle(const QString &title);
    // The item being worked on (elided in the middle, whole in the tool tip).
    void setCurrentPath(const QString &path);
    void updateProgress(const FileOpProgress &progress);

signals:
    void cancelRequested();

public:
    void reject() override;

private:
    QLabel *m_currentLabel;
    QLabel *m_countLabel;
    QLabel *m_speedLabel;
    QProgressBar *m_bar;
    QPushButton *m_cancelButton;
};

// Asks whether to overwrite an existing file: 覆盖 / 全部覆盖 / 跳过 / 取消.
class EngineConflictDialog : public QDialog
{
    Q_OBJECT
public:
    EngineConflictDialog(const OverwriteQuestion &question, QWidget *parent = nullptr);

    // The button pressed; closing the window counts as Cancel.
    OverwriteAnswer answer() const { return m_answer; }

private:
    OverwriteAnswer m_answer = OverwriteAnswer::Cancel;
};

// Tells that one item failed and why: 重试 / 跳过 / 取消, or only 确定 when
// the whole operation was refused.
class EngineErrorDialog : public QDialog
{
    Q_OBJECT
public:
    EngineErrorDialog(const ErrorQuestion &question, QWidget *parent = nullptr);

    // The button pressed; closing the window counts as Cancel.
    ErrorAnswer answer() const { return m_answer; }

private:
    ErrorAnswer m_answer = ErrorAnswer::Cancel;
};

// The engine's questions answered with the dialogs above, modal to parent.
class UserDialogs;

class DialogEngineQuestions : public EngineQuestions
{
public:
    // Yes/No questions go through dialogs (the program's own), or through
    // a QtUserDialogs of this object's when none is given.
    explicit DialogEngineQuestions(QWidget *parent = nullptr, UserDialogs *dialogs = nullptr);
    ~DialogEngineQuestions() override;

    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override;
    ErrorAnswer askOnError(const ErrorQuestion &question) override;
    bool confirmCreateFolder(const QString &folder) override;
    bool confirmTrash(const QString &path) override;
    PreflightAnswer askPreflight(const PreflightQuestion &question) override;

private:
    bool askYesNo(const QString &text);

    QPointer<QWidget> m_parent;
    std::unique_ptr<UserDialogs> m_ownDialogs;
    UserDialogs *m_dialogs = nullptr;
};

// "12.5 MB/秒", "约 1 分 5 秒": the figures the progress window shows.
QString formatSpeed(double bytesPerSecond);
QString formatDuration(qint64 seconds);
