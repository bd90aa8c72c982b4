#pragma once

#include <QString>

#include <functional>

// A directory as a destination text: the path with exactly one trailing "/"
// ("/" stays "/", "/data/out" and "/data/out//" both give "/data/out/").
QString withTrailingSeparator(const QString &dir);

// dir and name joined by one "/"; nothing is added when dir already ends in one.
QString joinFolderPath(const QString &dir, const QString &name);

// The name tried after name already existed, for an answer baseLength
// characters long: the answer with "1" appended, then with the number
// after it raised by one ("A" → "A1" → "A2" …).
QString nextFolderName(const QString &name, int baseLength);

// What one attempt to create a folder came to.
enum class FolderAttempt {
    Created,
    Exists, // a folder or file of that name is there already
    AccessRefused, // the directory does not let us create anything
    Failed // anything else: a vanished directory, a name too long...
};

struct NewFolderOutcome
{
    FolderAttempt result = FolderAttempt::Failed;
    QString path; // the folder made, or the last path tried
};

// Creates a new folder in dir named after answer, trying the numbered names
// while a name exists. Ends at the first success, refused access or other
// failure; never retries those (a refusal would repeat for every name).
NewFolderOutcome createNumberedFolder(const QString &dir, const QString &answer,
                                      const std::function<FolderAttempt(const QString &path)> &tryCreate);
