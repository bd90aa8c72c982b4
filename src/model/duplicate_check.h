#pragma once

#include <QString>

class MoveQueue;
class CandidateList;
class UserDialogs;
class EventYield;

enum class DuplicateOutcome {
    NotFound, // the path is not in the list: take it in
    Replaced, // it was, the user said Yes and the old row is gone: take it in
    Declined // it was and the user said No: do not take it in
};

// Looks for path in the queue; when found asks
// path + "已在队列中,是否重新进入队列？" (Yes/No, "Korvan说") and on Yes removes
// the old row with removeTask, so its counts go down.
DuplicateOutcome checkQueueDuplicate(MoveQueue &queue, const QString &path, UserDialogs &dialogs, EventYield &yield);

// The same against the candidate list, asking
// path + "已在候选队列中,是否重新进入队列？"; Yes removes the candidate only.
DuplicateOutcome checkCandidateDuplicate(CandidateList &candidates, const QString &path, UserDialogs &dialogs,
                                         EventYield &yield);
