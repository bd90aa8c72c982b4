// The "运行结果" window: what a run or an immediate start came to.
#include "dialogs/run_results_window.h"

#include "app/app_context.h"
#include "gui/accessibility.h"
#include "gui/widget_helpers.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("运行结果");
const QString kRerun = QStringLiteral("重新运行失败的任务");
const QString kCopy = QStringLiteral("复制到剪贴板");
const QString kClose = QStringLiteral("关闭");
const QString kAccountName = QStringLiteral("每个任务的结果");

} // namespace

RunResultsWindow::RunResultsWindow(AppContext &ctx)
    : QWidget(nullptr, Qt::Window)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("RunResultsWindow"));
    setWindowTitle(kTitle);
    summary = new QLabel(this);
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    account = new QPlainTextEdit(this);
    account->setObjectName(QStringLiteral("account"));
    account->setReadOnly(true);
    // Selectable and walkable with the keyboard, so a screen reader reads it line by line.
    account->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    account->setLineWrapMode(QPlainTextEdit::NoWrap);
    account->setAccessibleName(kAccountName);
    rerun = new QPushButton(kRerun, this);
    copy = new QPushButton(kCopy, this);
    closeButton = new QPushButton(kClose, this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(rerun);
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(account, 1);
    layout->addLayout(buttons);
    resize(640, 360);

    connect(rerun, &QPushButton::clicked, this, [this] {
        hide();
        emit rerunRequested();
    });
    connect(copy, &QPushButton::clicked, this, &RunResultsWindow::copyAccount);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::hide);
    nameForAccessibility(this);
}

void RunResultsWindow::showAccount(const QWidget *anchor)
{
    const QString text = m_ctx.outcomes.text();
    summary->setText(m_ctx.outcomes.summaryLine());
    account->setPlainText(text.section(u'\n', 1));
    // Only what is still queued can run again.
    rerun->setEnabled(!m_ctx.queue.isEmpty());
    if (!isVisible())
        placeCentredBeside(this, anchor);
    show();
    bringAbove(this);
    account->setFocus();
}

void RunResultsWindow::copyAccount()
{
    QGuiApplication::clipboard()->setText(m_ctx.outcomes.text());
}
