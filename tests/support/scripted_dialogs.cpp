#include "support/scripted_dialogs.h"

namespace {

QString kindName(ScriptedDialogs::Kind k)
{
    switch (k) {
    case ScriptedDialogs::Kind::Message: return QStringLiteral("message");
    case ScriptedDialogs::Kind::YesNo: return QStringLiteral("yes/no");
    case ScriptedDialogs::Kind::YesNoCancel: return QStringLiteral("yes/no/cancel");
    case ScriptedDialogs::Kind::Input: return QStringLiteral("input");
    case ScriptedDialogs::Kind::OpenFile: return QStringLiteral("open file");
    case ScriptedDialogs::Kind::SaveFile: return QStringLiteral("save file");
    case ScriptedDialogs::Kind::Modal: return QStringLiteral("modal window");
    }
    return QString();
}

} // namespace

void ScriptedDialogs::expectMessage(const QString &text, const QString &title)
{
    m_script.append(Step {{Kind::Message, text, title, {}}, Answer::Yes, {}, {}, true});
}

void ScriptedDialogs::expectYesNo(const QString &text, const QString &title, Answer answer)
{
    m_script.append(Step {{Kind::YesNo, text, title, {}}, answer, {}, {}, true});
}

void ScriptedDialogs::expectYesNoCancel(const QString &text, const QString &title, Answer answer)
{
    m_script.append(Step {{Kind::YesNoCancel, text, title, {}}, answer, {}, {}, true});
}

void ScriptedDialogs::expectInput(const QString &prompt, const QString &title, const QString &answer)
{
    m_script.append(Step {{Kind::Input, prompt, title, {}}, Answer::Yes, answer, {}, true});
}

void ScriptedDialogs::expectInputCancelled(const QString &prompt, const QString &title)
{
    Step step {{Kind::Input, prompt, title, {}}, Answer::Cancel, {}, {}, true};
    step.cancelled = true;
    m_script.append(step);
}

void ScriptedDialogs::expectOpenFile(const QString &answer)
{
    m_script.append(Step {{Kind::OpenFile, {}, {}, {}}, Answer::Yes, answer, {}, false});
}

void ScriptedDialogs::expectSaveFile(const QString &answer)
{
    m_script.append(Step {{Kind::SaveFile, {}, {}, {}}, Answer::Yes, answer, {}, false});
}

void ScriptedDialogs::expectModal(std::function<int(QDialog *)> action)
{
    m_script.append(Step {{Kind::Modal, {}, {}, {}}, Answer::Yes, {}, std::move(action), false});
}

QByteArray ScriptedDialogs::report() const
{
    QStringList lines = problems;
    for (const Step &s : m_script)
        lines << QStringLiteral("never asked: %1 \"%2\"").arg(kindName(s.expected.kind), s.expected.text);
    return lines.join(u'\n').toUtf8();
}

bool ScriptedDialogs::take(const Question &q, Step *step)
{
    asked.append(q);
    if (onAsk)
        onAsk(q);
    if (m_script.isEmpty()) {
        problems << QStringLiteral("unexpected %1: \"%2\" (%3)").arg(kindName(q.kind), q.text, q.title);
        return false;
    }
    *step = m_script.takeFirst();
    const Question &e = step->expected;
    if (e.kind != q.kind || (step->checkText && (e.text != q.text || e.title != q.title))) {
        problems << QStringLiteral("expected %1 \"%2\" (%3), got %4 \"%5\" (%6)")
                        .arg(kindName(e.kind), e.text, e.title, kindName(q.kind), q.text, q.title);
        return false;
    }
    return true;
}

void ScriptedDialogs::message(const QString &text, const QString &title)
{
    Step s;
    take({Kind::Message, text, title, {}}, &s);
}

UserDialogs::Answer ScriptedDialogs::askYesNo(const QString &text, const QString &title)
{
    Step s;
    return take({Kind::YesNo, text, title, {}}, &s) ? s.answer : Answer::No;
}

UserDialogs::Answer ScriptedDialogs::askYesNoCancel(const QString &text, const QString &title)
{
    Step s;
    return take({Kind::YesNoCancel, text, title, {}}, &s) ? s.answer : Answer::Cancel;
}

std::optional<QString> ScriptedDialogs::inputBox(const QString &prompt, const QString &title, const QString &preset)
{
    Step s;
    if (!take({Kind::Input, prompt, title, preset}, &s) || s.cancelled)
        return std::nullopt;
    return s.textAnswer;
}

QString ScriptedDialogs::openFileName(const QString &title, const QString &initialDir, const QString &filter)
{
    Step s;
    return take({Kind::OpenFile, title, initialDir, filter}, &s) ? s.textAnswer : QString();
}

QString ScriptedDialogs::saveFileName(const QString &title, const QString &presetPath, const QString &filter)
{
    Step s;
    return take({Kind::SaveFile, title, presetPath, filter}, &s) ? s.textAnswer : QString();
}

QString (*ScriptedDialogs::modalWindowTitle)(QDialog *) = nullptr;
void (*ScriptedDialogs::rejectModalWindow)(QDialog *) = nullptr;

int ScriptedDialogs::execModal(QDialog *dialog)
{
    Step s;
    const QString title = dialog && modalWindowTitle ? modalWindowTitle(dialog) : QString();
    if (!take({Kind::Modal, title, {}, {}}, &s) || !s.modal) {
        if (dialog && rejectModalWindow)
            rejectModalWindow(dialog);
        return 0; // QDialog::Rejected
    }
    return s.modal(dialog);
}
