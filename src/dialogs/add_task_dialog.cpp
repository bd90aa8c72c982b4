#include "dialogs/add_task_dialog.h"

#include "mainwin/app_context.h"
#include "model/texts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

Form4::Form4(AppContext &ctx)
    : QWidget(nullptr, Qt::Window)
    , m_ctx(ctx)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("添加新任务"));
    auto *layout = new QFormLayout(this);
    Text1 = new QLineEdit(this);
    Command1 = new QPushButton(QStringLiteral("..."), this);
    Text3 = new QLineEdit(this);
    Combo1 = new QComboBox(this);
    Combo1->setEditable(true);
    Command2 = new QPushButton(QStringLiteral("..."), this);
    auto *startBox = new QWidget(this);
    auto *modeBox = new QWidget(this);
    Option2 = new QRadioButton(QStringLiteral("手动"), startBox);
    Option1 = new QRadioButton(QStringLiteral("立即"), startBox);
    Option5 = new QRadioButton(Texts::ModeDelete, modeBox);
    Option4 = new QRadioButton(Texts::ModeCut, modeBox);
    Option3 = new QRadioButton(Texts::ModeCopy, modeBox);
    Text4 = new QLineEdit(this);
    Check1 = new QCheckBox(QStringLiteral("使用本次设置成为默认设置 以后不再提问！"), this);
    Command3 = new QPushButton(QStringLiteral("添加要移动目录"), this);
    Command5 = new QPushButton(QStringLiteral("确定"), this);
    Command6 = new QPushButton(QStringLiteral("下一个"), this);
    Command4 = new QPushButton(QStringLiteral("取消"), this);
    layout->addRow(QStringLiteral("原地址："), Text1);
    layout->addRow(QStringLiteral("文件名："), Text3);
    layout->addRow(QStringLiteral("目地地址："), Combo1);
    layout->addRow(Check1);

    // Creation: queue by default, and "复制" as the first default mode.
    Option2->setChecked(true);
    Option3->setChecked(true);
    StartMode = QStringLiteral("手动");
    m_ctx.m.defaultMode = Texts::ModeCopy;
    Check1->setChecked(m_ctx.m.useDefaults);
}

void Form4::clearModeOptions()
{
    for (QRadioButton *o : {Option3, Option4, Option5}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
}

void Form4::closeEvent(QCloseEvent *event)
{
    if (!m_ctx.m.exitAllowed) {
        event->ignore();
        hide();
        return;
    }
    event->accept();
}
