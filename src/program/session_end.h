#pragma once

#include <QObject>

class AppContext;
class Form3;

// The program in the desktop session. Asking it to save its state (a
// checkpoint, or a logout that may yet be cancelled) changes nothing: nothing
// is kept between runs, and the program goes on working. When the session
// really ends, the session manager asks the application to quit; the windows
// would refuse that (only "关闭" ends the program), so the request takes the
// program's own way out instead: the running file operation is cancelled the
// safe way, every window closes, and the program leaves once its handlers
// have unwound.
class SessionEnd : public QObject
{
public:
    SessionEnd(AppContext &ctx, Form3 *panel, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AppContext &m_ctx;
    Form3 *m_panel;
};
