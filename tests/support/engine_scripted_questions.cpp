#include "support/engine_scripted_questions.h"

OverwriteAnswer ScriptedEngineQuestions::askOverwrite(const OverwriteQuestion &question)
{
    overwriteQuestions.append(question);
    if (onQuestion)
        onQuestion();
    return overwriteAnswers.isEmpty() ? defaultOverwrite : overwriteAnswers.takeFirst();
}

ErrorAnswer ScriptedEngineQuestions::askOnError(const ErrorQuestion &question)
{
    errorQuestions.append(question);
    if (onQuestion)
        onQuestion();
    return errorAnswers.isEmpty() ? defaultError : errorAnswers.takeFirst();
}

bool ScriptedEngineQuestions::confirmCreateFolder(const QString &folder)
{
    createFolderQuestions.append(folder);
    if (onQuestion)
        onQuestion();
    return createFolderAnswer;
}

bool ScriptedEngineQuestions::confirmTrash(const QString &path)
{
    trashQuestions.append(path);
    if (onQuestion)
        onQuestion();
    return trashAnswer;
}

PreflightAnswer ScriptedEngineQuestions::askPreflight(const PreflightQuestion &question)
{
    preflightQuestions.append(question);
    if (onQuestion)
        onQuestion();
    return preflightAnswer;
}
