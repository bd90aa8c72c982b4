#include "panel/panel_window.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "gui/panel_face.h"
#include "gui/widget_helpers.h"
#include "model/texts.h"
#include "panel/panel_accessible.h"
#include "platform/file_operation.h"
#include "platform/user_dialogs.h"
#include "run/run_texts.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <QWindow>

Form3::Form3(AppContext &ctx)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_ctx(ctx)
{
    installPanelAccessibility();
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Korvan"));
    setFixedSize(37, 36);
    move(622, 62);
    setAcceptDrops(true);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setToolTip(QStringLiteral("把文件拖到这里"));
    setAccessibleName(QStringLiteral("Korvan 面板"));
    setAccessibleDescription(QStringLiteral("把文件拖到这里；双击打开或关闭主窗口；右键打开面板控制器菜单"));
}

void Form3::takeDrop(const QStringList &paths)
{
    if (paths.isEmpty() || m_ctx.m.exitAllowed)
        return;
    BusyScope busy(m_ctx);
    if (paths.size() == 1)
        dropPath = paths.first();
    emit pathsTaken(paths);
}

void Form3::kp()
{
    BusyScope busy(m_ctx);
    m_ctx.runner.run();
}

bool Form3::isRunning() const
{
    return m_ctx.runner.isRunning();
}

void Form3::showRunPercent(int percent)
{
    setFaceText(u' ' + QString::number(percent) + QStringLiteral("％"));
}

void Form3::setFaceText(const QString &text)
{
    if (m_faceText == text)
        return;
    m_faceText = text;
    update();
}

void Form3::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    paintPanelFace(p, rect());
    if (m_dragOver)
        paintDropHighlight(p, rect());
    if (!m_faceText.isEmpty()) {
        QFont font(QStringLiteral("SimSun"));
        font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                          QStringLiteral("Noto Sans CJK SC")});
        font.setPixelSize(9);
        font.setWeight(QFont::Normal);
        p.setFont(font);
        // A light backing keeps the figures readable on the picture.
        const QRect box = p.fontMetrics().boundingRect(m_faceText).translated(0, p.fontMetrics().ascent());
        p.fillRect(box.adjusted(0, 0, 1, 0), QColor(255, 255, 255, 200));
        p.setPen(Qt::black);
        p.drawText(0, p.fontMetrics().ascent(), m_faceText);
    }
}

void Form3::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        popUpMenu();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_selfMoving = false;
        m_pressGlobal = event->globalPosition().toPoint();
        m_pressWindowPos = pos();
    }
}

void Form3::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed)
        return;
    const QPoint now = event->globalPosition().toPoint();
    if (m_selfMoving) {
        move(m_pressWindowPos + (now - m_pressGlobal));
        return;
    }
    if ((now - m_pressGlobal).manhattanLength() < 3)
        return;
    // The window manager moves the panel where it can; otherwise it follows
    // the mouse by itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        m_pressed = false;
    else
        m_selfMoving = true;
}

void Form3::mouseReleaseEvent(QMouseEvent *)
{
    m_pressed = false;
    m_selfMoving = false;
}

void Form3::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        toggleMainWindow();
}

void Form3::toggleMainWindow()
{
    emit mainWindowToggleRequested();
}

void Form3::popUpMenu()
{
    emit panelMenuRequested(QCursor::pos());
}

void Form3::setDragOver(bool over)
{
    if (m_dragOver == over)
        return;
    m_dragOver = over;
    update();
}

void Form3::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        setDragOver(true);
    }
}

void Form3::dragMoveEvent(QDragMoveEvent *event)
{
    if (!droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form3::dragLeaveEvent(QDragLeaveEvent *)
{
    setDragOver(false);
}

void Form3::dropEvent(QDropEvent *event)
{
    setDragOver(false);
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The drop source waits for the drop to finish: take the paths in once
    // it has, since the intake may ask questions.
    QMetaObject::invokeMethod(
        this, [this, paths] { takeDrop(paths); }, Qt::QueuedConnection);
}

void Form3::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.m.exitAllowed) {
        event->ignore();
        return;
    }
    event->accept();
}

void Form3::requestExit()
{
    if (m_ctx.m.exitAllowed)
        return;
    const bool running = m_ctx.fileOperationBusy();
    const int queued = m_ctx.queue.count();
    if (running || queued > 0) {
        QString question;
        if (running)
            question += RunTexts::ExitWhileRunning;
        if (queued > 0)
            question += RunTexts::ExitWithQueued.arg(queued);
        question += RunTexts::ExitConfirm;
        const bool leave = m_ctx.svc.dialogs->askYesNo(question, Texts::TitleKorvan) == UserDialogs::Answer::Yes;
        // The session may have ended while the box was open.
        if (!leave || m_ctx.m.exitAllowed)
            return;
    }
    sys_exit();
}

void Form3::sys_exit()
{
    m_ctx.m.exitAllowed = true;
    // A task being performed is cancelled the safe way; the runner then
    // unwinds and the program leaves once it has.
    m_ctx.m.pauseFlag = true;
    if (m_ctx.svc.engine && m_ctx.svc.engine->isRunning())
        m_ctx.svc.engine->cancelRunning();
    if (m_ctx.openModal)
        m_ctx.openModal->reject();
    // The main window, the add-task dialog, then the candidate window once
    // its list is emptied so that it can close.
    emit otherWindowsClosing();
    close();
    m_ctx.quitNowOrWhenIdle();
}
