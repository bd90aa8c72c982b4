#pragma once

#include "platform/engine/engine_questions.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the engine's questions from a script and records what was asked.
// Answers are taken in order; when a list runs out the default is used.
class ScriptedEngineQuestions : public EngineQuestions
{
public:
    OverwriteAnswer askOverwrite(const OverwriteQuestion &question) override;
    ErrorAnswer askOnError(const ErrorQuestion &question) override;
    bool confirmCreateFolder(const QString &folder) override;
    bool confirmTrash(const QString &path) override;
    PreflightAnswer askPreflight(const PreflightQuestion &question) override;

    QList<OverwriteAnswer> overwriteAnswers;
    OverwriteAnswer defaultOverwrite = OverwriteAnswer::Cancel;
    QList<ErrorAnswer> errorAnswers;
    ErrorAnswer defaultError = ErrorAnswer::Cancel;
    bool createFolderAnswer = true;
    bool trashAnswer = true;
    PreflightAnswer preflightAnswer = PreflightAnswer::Cancel;

    // Runs before any answer is given (e.g. to cancel the operation).
    std::function<void()> onQuestion;

    QList<OverwriteQuestion> overwriteQuestions;
    QList<ErrorQuestion> errorQuestions;
    QStringList createFolderQuestions;
    QStringList trashQuestions;
    QList<PreflightQuestion> preflightQuestions;
};
