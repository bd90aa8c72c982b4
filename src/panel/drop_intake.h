#pragma once

#include <QStringList>

class AppContext;

// Turns dropped paths into work: straight into the queue when the defaults
// are in force, into the add-task dialog for a single path, or into the
// candidate window.
class DropIntake
{
public:
    explicit DropIntake(AppContext &ctx);

    void take(const QStringList &paths);

    // True while "开启默认设置" is checked or the add-task dialog's default
    // box is ticked.
    bool defaultsInForce() const;

private:
    void takeSingle(const QString &path);
    void takeSeveral(const QStringList &paths);

    AppContext &m_ctx;
};
