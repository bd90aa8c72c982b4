#pragma once

#include "platform/engine/engine_testing.h"
#include "platform/file_operation.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class EngineQuestions;
class EngineProgressDialog;
class DialogEngineQuestions;
class FileOpRunner;
class UserDialogs;

// The file operation of the desktop: the engine on a worker thread, the
// GUI thread waiting in a local event loop, a progress window when an
// operation takes longer than about half a second, and the engine's
// questions answered with dialogs (Chinese) modal to dialogParent.
class DesktopFileOperation : public FileOperation
{
public:
    // dialogs: where the engine's Yes/No questions go (the program's own
    // dialogs); nullptr gives the operation Qt dialogs of its own.
    explicit DesktopFileOperation(QWidget *dialogParent = nullptr, UserDialogs *dialogs = nullptr);
    ~DesktopFileOperation() override;

    FileOpResult perform(const FileOpRecord &op) override;
    void cancelRunning() override;
    bool isRunning() const override;

    // Answers the questions from elsewhere (tests, tools); nullptr restores
    // the dialogs. Not owned.
    void setQuestions(EngineQuestions *questions);

    // How long an operation runs before the progress window appears.
    void setProgressDelay(int milliseconds) { m_progressDelayMs = milliseconds; }

    // The progress window of the running operation (it may be hidden yet).
    EngineProgressDialog *progressDialog() const { return m_progressDialog; }

    // Handed on to the engine, see EngineTestSettings.
    void setTestSettings(const EngineTestSettings &settings);

private:
    QPointer<QWidget> m_dialogParent;
    std::unique_ptr<FileOpRunner> m_runner;
    std::unique_ptr<DialogEngineQuestions> m_dialogQuestions;
    EngineQuestions *m_questions = nullptr;
    QPointer<EngineProgressDialog> m_progressDialog;
    int m_progressDelayMs = 500;
};
