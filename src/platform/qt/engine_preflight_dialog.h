#pragma once

#include "platform/engine/engine_questions.h"

#include <QDialog>

// Lists, before anything is written, every item the target volume cannot
// hold, each with its reason: 跳过这些项目 / 取消. Closing it cancels.
class EnginePreflightDialog : public QDialog
{
    Q_OBJECT
public:
    explicit EnginePreflightDialog(const PreflightQuestion &question, QWidget *parent = nullptr);

    PreflightAnswer answer() const { return m_answer; }

private:
    PreflightAnswer m_answer = PreflightAnswer::Cancel;
};
