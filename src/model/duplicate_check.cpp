#include "model/duplicate_check.h"

#include "model/candidate_list.h"
#include "model/move_queue.h"
#include "model/texts.h"
#include "platform/event_yield.h"
#include "platform/user_dialogs.h"

namespace {

// Shared by both lists: find through the path index, ask, and on Yes remove
// the row that was asked about if it still exists after the question (the
// event loop ran while the box was open, so it may be gone already).
template<typename List, typename Remove>
DuplicateOutcome check(List &list, const QString &path, const QString &question, UserDialogs &dialogs,
                       EventYield &yield, Remove remove)
{
    yield.yield();
    const int pos = list.findFirst(path);
    if (pos < 0)
        return DuplicateOutcome::NotFound;
    const RowRef ref = list.refAt(pos);
    if (dialogs.askYesNo(path + question, Texts::TitleKorvanSays) != UserDialogs::Answer::Yes)
        return DuplicateOutcome::Declined;
    const int now = list.positionOf(ref);
    if (now >= 0)
        remove(now);
    return DuplicateOutcome::Replaced;
}

struct QueueFinder
{
    MoveQueue &q;
    int findFirst(const QString &p) const { return q.findQueued(p); }
    RowRef refAt(int pos) const { return q.refAt(pos); }
    int positionOf(RowRef r) const { return q.positionOf(r); }
};

} // namespace

DuplicateOutcome checkQueueDuplicate(MoveQueue &queue, const QString &path, UserDialogs &dialogs, EventYield &yield)
{
    QueueFinder finder {queue};
    return check(finder, path, Texts::AlreadyQueued, dialogs, yield, [&](int pos) { queue.removeTask(pos); });
}

DuplicateOutcome checkCandidateDuplicate(CandidateList &candidates, const QString &path, UserDialogs &dialogs,
                                         EventYield &yield)
{
    return check(candidates, path, Texts::AlreadyCandidate, dialogs, yield, [&](int pos) { candidates.removeAt(pos); });
}
