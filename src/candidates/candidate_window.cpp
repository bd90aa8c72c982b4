#include "candidates/candidate_window.h"

#include "mainwin/app_context.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QTreeView>
#include <QVBoxLayout>

Form7::Form7(AppContext &ctx)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("多移动候选选择"));
    auto *layout = new QVBoxLayout(this);
    ListView1 = new QTreeView(this);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setModel(&m_ctx.candidates);
    layout->addWidget(ListView1);
    resize(482, 355);
}

void Form7::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.candidates.isEmpty()) {
        event->ignore();
        showMinimized();
        return;
    }
    event->accept();
}
