// The window's long handlers: "确定", "取消", "设置统一目地地址" and drops on
// the list. Each loop takes its rows once at the start, lets the event loop
// run once per row, and looks each row up again afterwards, because other
// handlers may have removed it in the meantime. The shared editor row
// (newRow) is only moved by opening the editor, so an edit in progress
// always lands on the candidate the editor shows.
#include "candidates/candidate_window.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "candidates/candidate_texts.h"
#include "dialogs/directory_pickers.h"
#include "model/duplicate_check.h"
#include "model/task_builder.h"
#include "model/texts.h"
#include "platform/event_yield.h"
#include "platform/user_dialogs.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTreeView>

void Form7::Command2_Click()
{
    using namespace CandidateTexts;
    BusyScope busy(m_ctx);
    UserDialogs &dialogs = *m_ctx.svc.dialogs;
    CandidateList &list = m_ctx.candidates;

    if (Frame1->isEnabled() && !nextpath()) {
        dialogs.message(NoDestinationTyped, Texts::TitleKorvan);
        return;
    }

    // Check pass: every ticked candidate needs a destination before any is queued.
    for (const RowRef ref : snapshotRows()) {
        m_ctx.svc.yield->yield();
        if (m_ctx.m.exitAllowed)
            return;
        const int pos = list.positionOf(ref);
        if (pos < 0)
            continue;
        const CandidateRow &c = list.at(pos);
        if (!c.ticked || !c.destination.isEmpty())
            continue;
        dialogs.message(MissingDestinationPrefix + c.sourcePath + MissingDestinationSuffix, Texts::TitleKorvan);
        if (m_ctx.m.exitAllowed)
            return;
        const int now = list.positionOf(ref);
        if (now >= 0)
            openInEditor(now, false);
        return;
    }

    // Transfer pass, last row first.
    const QList<RowRef> rows = snapshotRows();
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        m_ctx.svc.yield->yield();
        if (m_ctx.m.exitAllowed)
            return;
        const int pos = list.positionOf(*it);
        if (pos < 0)
            continue;
        const CandidateRow c = list.at(pos);
        if (c.ticked) {
            m_ctx.queue.appendTask(static_cast<const MoveTask &>(c));
            list.removeAt(pos);
        } else if (Option4->isChecked()) {
            list.removeAt(pos);
        } else if (Option6->isChecked()) {
            const auto answer = dialogs.askYesNo(RemoveUntickedPrefix + c.sourcePath + RemoveUntickedSuffix,
                                                 Texts::TitleKorvan);
            if (m_ctx.m.exitAllowed)
                return;
            const int now = list.positionOf(*it);
            if (answer == UserDialogs::Answer::Yes && now >= 0)
                list.removeAt(now);
        }
    }

    ListView1->viewport()->update();
    if (!m_ctx.queue.isEmpty())
        emit tasksQueued();
    close();
}

void Form7::Command1_Click()
{
    m_ctx.candidates.clear();
    close();
}

void Form7::Command3_Click()
{
    using namespace CandidateTexts;
    BusyScope busy(m_ctx);
    UserDialogs &dialogs = *m_ctx.svc.dialogs;
    Command3->setEnabled(false);
    Command2->setEnabled(false);
    const auto enableAgain = qScopeGuard([this] {
        Command3->setEnabled(true);
        Command2->setEnabled(true);
    });

    bool pick = true;
    if (!m_ctx.m.defaultDest.isEmpty()) {
        const auto answer = dialogs.askYesNoCancel(KeepDefaultDestPrefix + m_ctx.m.defaultDest + KeepDefaultDestSuffix,
                                                   Texts::TitleKorvan);
        if (answer == UserDialogs::Answer::Cancel)
            return;
        pick = answer == UserDialogs::Answer::No;
    }
    if (m_ctx.m.exitAllowed)
        return;
    if (pick) {
        // A cancelled picker ends it all: the default was just declined, or
        // there is none, and going on would only wipe destinations already set.
        const std::optional<QString> chosen = showForm5(m_ctx);
        if (!chosen || m_ctx.m.exitAllowed || m_ctx.m.defaultDest.isEmpty())
            return;
    }

    const auto keep = dialogs.askYesNoCancel(KeepExistingDestinations, Texts::TitleKorvan);
    if (keep == UserDialogs::Answer::Cancel || m_ctx.m.exitAllowed)
        return;
    const bool replace = keep == UserDialogs::Answer::No;

    CandidateList &list = m_ctx.candidates;
    for (const RowRef ref : snapshotRows()) {
        m_ctx.svc.yield->yield();
        if (m_ctx.m.exitAllowed)
            return;
        const int pos = list.positionOf(ref);
        if (pos < 0)
            continue;
        const CandidateRow &c = list.at(pos);
        // Delete rows without a destination stay without one.
        if (c.destination.isEmpty() ? c.mode != Texts::ModeDelete : replace)
            list.setField(pos, MoveTask::Destination, m_ctx.m.defaultDest);
    }
}

void Form7::dropPaths(const QStringList &paths)
{
    if (m_ctx.m.exitAllowed)
        return;
    BusyScope busy(m_ctx);
    Services &svc = m_ctx.svc;
    const int count = int(paths.size());
    for (int i = 0; i < count; ++i) {
        svc.yield->yield();
        if (m_ctx.m.exitAllowed)
            return;
        const QString &path = paths.at(i);
        if (checkQueueDuplicate(m_ctx.queue, path, *svc.dialogs, *svc.yield) == DuplicateOutcome::Declined)
            return;
        if (m_ctx.m.exitAllowed)
            return;
        if (checkCandidateDuplicate(m_ctx.candidates, path, *svc.dialogs, *svc.yield) == DuplicateOutcome::Declined)
            return;
        if (m_ctx.m.exitAllowed)
            return;
        m_ctx.candidates.append(candidateWithDefaults(*svc.files, path, m_ctx.m.defaultDest, m_ctx.m.defaultMode));
    }
}
