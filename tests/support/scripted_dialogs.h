#pragma once

#include "platform/user_dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

// A dialogs double: answers from a script given in order, records every
// question, and notes any question that was not scripted or differs from
// the script. Tests end with QVERIFY2(dialogs.clean(), dialogs.report()).
class ScriptedDialogs : public UserDialogs
{
public:
    enum class Kind { Message, YesNo, YesNoCancel, Input, OpenFile, SaveFile, Modal };

    struct Question
    {
        Kind kind;
        QString text;
        QString title;
        QString extra; // input preset, file dialog initial path or filter
    };

    void expectMessage(const QString &text, const QString &title = QStringLiteral("Korvan"));
    void expectYesNo(const QString &text, const QString &title, Answer answer);
    void expectYesNoCancel(const QString &text, const QString &title, Answer answer);
    // An input box accepted with answer (which may be empty).
    void expectInput(const QString &prompt, const QString &title, const QString &answer);
    // An input box the user cancels.
    void expectInputCancelled(const QString &prompt, const QString &title);
    void expectOpenFile(const QString &answer);
    void expectSaveFile(const QString &answer);
    // A modal window: action drives it (set fields, click buttons) and
    // returns its result code. Without an action the window is rejected.
    void expectModal(std::function<int(QDialog *)> action = {});

    // Runs whenever a question is asked, before it is answered (to act while
    // the box would be open, as a user's other window could).
    std::function<void(const Question &)> onAsk;

    QList<Question> asked;
    QStringList problems;

    bool clean() const { return problems.isEmpty() && m_script.isEmpty(); }
    QByteArray report() const;
    int remaining() const { return int(m_script.size()); }

    void message(const QString &text, const QString &title) override;
    Answer askYesNo(const QString &text, const QString &title) override;
    Answer askYesNoCancel(const QString &text, const QString &title) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &preset) override;
    QString openFileName(const QString &title, const QString &initialDir, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &presetPath, const QString &filter) override;
    int execModal(QDialog *dialog) override;

    // What execModal needs of the window itself: set by the GUI part of the
    // test support (scripted_dialogs_modal.cpp), so that this double builds
    // with Qt Core alone for the model's tests, which open no window.
    static QString (*modalWindowTitle)(QDialog *dialog);
    static void (*rejectModalWindow)(QDialog *dialog);

private:
    struct Step
    {
        Question expected;
        Answer answer = Answer::No;
        QString textAnswer;
        std::function<int(QDialog *)> modal;
        bool checkText = true;
        bool cancelled = false;
    };

    // Takes the next step, recording a problem when it does not match.
    bool take(const Question &q, Step *step);

    QList<Step> m_script;
};

// Fails the test when a question was unexpected, differed, or never came.
#define VERIFY_DIALOGS(d) QVERIFY2((d).clean(), (d).report().constData())
