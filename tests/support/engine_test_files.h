#pragma once

#include "platform/engine/engine_questions.h"
#include "platform/engine/engine_testing.h"
#include "platform/engine/file_op_params.h"

#include <QByteArray>
#include <QString>

#include <atomic>

#include <sys/stat.h>

// Small file-system helpers for the engine tests. Paths are native bytes.
namespace EngineTestFiles {

// A path in native bytes, and back (names that are not valid UTF-8 survive).
QByteArray bytes(const QString &path);
QString text(const QByteArray &path);
// lstat of path; a zeroed record when it fails.
struct stat statOf(const QByteArray &path);

bool writeFile(const QByteArray &path, const QByteArray &content);
QByteArray readFile(const QByteArray &path);
// Everything left to read on fd (a pipe from a child), then closes it.
QByteArray readToEnd(int fd);
bool exists(const QByteArray &path); // lstat: a dangling link exists
bool makeDirs(const QByteArray &path);
QByteArray makeBigFile(const QByteArray &path, qint64 bytes); // returns the path
// Every entry under dir (recursive, relative names); "." entries left out.
QStringList listTree(const QByteArray &dir);
// The names in dir (no "." or ".."), in the order the folder lists them:
// the order a copy walks it in.
QList<QByteArray> listedNames(const QByteArray &dir);
// True when dir or anything under it is a left-over temporary of the engine.
bool hasTemporaries(const QByteArray &dir);
// rm -rf on the bytes: QDir cannot remove names that are not valid UTF-8.
void removeTree(const QByteArray &path);

// The shell record the program uses for each mode.
FileOpRecord copyRecord(const QString &from, const QString &to);
FileOpRecord moveRecord(const QString &from, const QString &to);
FileOpRecord deleteRecord(const QString &path);

// Decodes the record and runs it synchronously on this thread (verify:
// every copy read back before it is named).
FileOpResult runSync(const FileOpRecord &record, EngineQuestions &questions, const std::atomic_bool *cancel = nullptr,
                     const EngineTestSettings &settings = {}, bool verify = false);
// Settings that copy the data in pieces of chunkBytes (0: as the engine
// copies) with a pause of chunkDelayUs after each, and call hook.
EngineTestSettings chunkedSettings(qint64 chunkBytes, int chunkDelayUs, EngineTestSettings::Hook hook = {});
// runSync with a hook, and the data copied in pieces of chunkBytes with a
// short pause after each (0: as the engine copies), so that a hook fires
// while a file is still being written.
FileOpResult runWithHook(const FileOpRecord &record, EngineQuestions &questions, EngineTestSettings::Hook hook = {},
                         qint64 chunkBytes = 0);
// Settings that leave out the look at the target before the first write,
// for the tests of what a copy finds on its way (a volume full mid-copy).
EngineTestSettings withoutPreflight();

} // namespace EngineTestFiles
