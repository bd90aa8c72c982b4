#include "model/folder_names.h"

namespace {

// Decimal text plus one, as long as it needs to be ("9" gives "10").
QString incremented(const QString &digits)
{
    QString out = digits;
    for (qsizetype i = out.size() - 1; i >= 0; --i) {
        if (out.at(i) != u'9') {
            out[i] = QChar(out.at(i).unicode() + 1);
            return out;
        }
        out[i] = u'0';
    }
    return u'1' + out;
}

bool allDigits(const QString &text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

// A directory holds a finite number of names; a file system answering
// "exists" for ever must not hang the program.
constexpr int kMaxAttempts = 100000;

} // namespace

QString withTrailingSeparator(const QString &dir)
{
    qsizetype end = dir.size();
    while (end > 0 && dir.at(end - 1) == u'/')
        --end;
    return dir.left(end) + u'/';
}

QString joinFolderPath(const QString &dir, const QString &name)
{
    if (dir.endsWith(u'/'))
        return dir + name;
    return dir + u'/' + name;
}

QString nextFolderName(const QString &name, int baseLength)
{
    if (name.size() <= baseLength)
        return name + u'1';
    const QString number = name.mid(baseLength);
    // Only our own digits follow the answer; anything else counts as 0.
    return name.left(baseLength) + (allDigits(number) ? incremented(number) : QStringLiteral("1"));
}

NewFolderOutcome createNumberedFolder(const QString &dir, const QString &answer,
                                      const std::function<FolderAttempt(const QString &path)> &tryCreate)
{
    const int baseLength = int(answer.size());
    QString name = answer;
    NewFolderOutcome outcome;
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        outcome.path = joinFolderPath(dir, name);
        outcome.result = tryCreate(outcome.path);
        if (outcome.result != FolderAttempt::Exists)
            return outcome;
        name = nextFolderName(name, baseLength);
    }
    outcome.result = FolderAttempt::Failed;
    return outcome;
}
