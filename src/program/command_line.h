#pragma once

#include <QStringList>

class Form3;
class SingleInstance;

// "korvan PATH…": the paths the program was started with, as a drop of them
// on the panel would carry them: absolute and clean (no "." or "..", no
// trailing "/"), in their order. A relative path is taken from
// workingDir, a "file://" URL (as some desktops hand over) as its local
// path; empty arguments are left out.
QStringList pathsFromArguments(const QStringList &arguments, const QString &workingDir);

// The paths this start was given, and those every later start hands over
// to this running instance, are taken in as a drop of them on the panel:
// each once the event loop runs, never inside the socket's handler.
void takePathsAsDrops(SingleInstance &instance, Form3 &panel, const QStringList &startPaths);
