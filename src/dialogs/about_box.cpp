#include "dialogs/about_box.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "gui/panel_face.h"
#include "platform/shell_open.h"
#include "platform/user_dialogs.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kTitle = QStringLiteral("关于");
const QString kProduct = QStringLiteral("Korvan 1.0 BATE(测试版)");
const QString kAuthorPrefix = QStringLiteral("制作人：");
const QString kDatePrefix = QStringLiteral("出产日期：");
const QString kAuthor = QStringLiteral("Korvan 开发组");
const QString kReleaseDate = QStringLiteral("2026年12月7日");
const QString kMailAddress = QStringLiteral("korvan@example.com");
const QString kMailSubject = QStringLiteral("?subject=给你的意见和建议");
const QString kOk = QStringLiteral("确定");
const QString kCrLf = QStringLiteral("\r\n");

// The program's picture at a given size, sharp on high-density screens.
QPixmap iconPixmap(int side, qreal ratio)
{
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintPanelFace(painter, QRect(0, 0, side, side));
    return pixmap;
}

} // namespace

Form6::Form6(AppContext &ctx, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(kTitle);
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;

    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    auto *page = new QWidget(TabStrip1);
    TabStrip1->addTab(page, QIcon(iconPixmap(16, ratio)), QString());
    outer->addWidget(TabStrip1);
    auto *pageLayout = new QVBoxLayout(page);

    Frame1 = new QGroupBox(page);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frameLayout = new QHBoxLayout(Frame1);
    Picture1 = new QLabel(Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setPixmap(iconPixmap(48, ratio));
    Picture1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    auto *textColumn = new QVBoxLayout;
    Label1 = new QLabel(kProduct + kCrLf + kCrLf + kAuthorPrefix + kAuthor + kCrLf + kDatePrefix + kReleaseDate,
                        Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Command2 = new QPushButton(kMailAddress, Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setAutoDefault(false);
    Command2->setCursor(Qt::PointingHandCursor);
    textColumn->addWidget(Label1);
    textColumn->addWidget(Command2, 0, Qt::AlignLeft);
    frameLayout->addWidget(Picture1);
    frameLayout->addSpacing(8);
    frameLayout->addLayout(textColumn, 1);
    pageLayout->addWidget(Frame1);

    auto *buttons = new QHBoxLayout;
    Command1 = new QPushButton(kOk, page);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    pageLayout->addLayout(buttons);
    // The tab and the frame carry no caption: the window's title names them.
    TabStrip1->tabBar()->setAccessibleName(kTitle);
    TabStrip1->tabBar()->setAccessibleTabName(0, kTitle);
    Frame1->setAccessibleName(kTitle);

    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

QUrl Form6::mailLink()
{
    return QUrl(QStringLiteral("mailto:") + kMailAddress + kMailSubject);
}

void Form6::Command2_Click()
{
    // Without a mail program nothing happens, and nothing is said.
    m_ctx.svc.shell->openUrl(mailLink());
}

void showForm6(AppContext &ctx)
{
    if (ctx.m.exitAllowed)
        return;
    BusyScope busy(ctx);
    Form6 about(ctx);
    QScopedValueRollback<QDialog *> open(ctx.openModal, &about);
    ctx.svc.dialogs->execModal(&about);
}
