#include "dialogs/directory_pickers.h"

#include "dialogs/add_task_dialog.h"
#include "mainwin/app_context.h"
#include "model/size_text.h"
#include "platform/user_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>

Form5::Form5(AppContext &ctx, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_path(QDir::homePath())
{
    setWindowTitle(QStringLiteral("保存到的目录"));
    auto *layout = new QHBoxLayout(this);
    Command3 = new QPushButton(QStringLiteral("确定"), this);
    Command2 = new QPushButton(QStringLiteral("取消"), this);
    Command1 = new QPushButton(QStringLiteral("新建文件夹"), this);
    layout->addWidget(Command3);
    layout->addWidget(Command2);
    layout->addWidget(Command1);
    connect(Command3, &QPushButton::clicked, this, [this] {
        QString dest = m_path;
        if (!dest.endsWith(u'/'))
            dest += u'/';
        m_ctx.form4->Combo1->addItem(dest);
        m_ctx.form4->Combo1->setCurrentText(dest);
        m_ctx.m.defaultDest = dest;
        accept();
    });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

QString Form5::currentPath() const
{
    return m_path;
}

void Form5::setCurrentPath(const QString &path)
{
    m_path = path;
}

Form2::Form2(AppContext &ctx, QWidget *parent)
    : QDialog(parent)
    , m_ctx(ctx)
    , m_path(QDir::homePath())
{
    setWindowTitle(QStringLiteral("要移动的正个目录"));
    auto *layout = new QHBoxLayout(this);
    Command2 = new QPushButton(QStringLiteral("确定"), this);
    Command1 = new QPushButton(QStringLiteral("取消"), this);
    layout->addWidget(Command2);
    layout->addWidget(Command1);
    connect(Command2, &QPushButton::clicked, this, [this] {
        m_ctx.form4->Text1->setText(m_path);
        m_ctx.form4->Text3->setText(pathName(m_path));
        accept();
    });
    connect(Command1, &QPushButton::clicked, this, &QDialog::reject);
}

QString Form2::currentPath() const
{
    return m_path;
}

void Form2::setCurrentPath(const QString &path)
{
    m_path = path;
}

namespace {

template <typename Picker>
void showPicker(AppContext &ctx)
{
    Picker picker(ctx);
    QScopedValueRollback<QDialog *> open(ctx.openModal, &picker);
    ctx.svc.dialogs->execModal(&picker);
}

} // namespace

void showForm5(AppContext &ctx)
{
    showPicker<Form5>(ctx);
}

void showForm2(AppContext &ctx)
{
    showPicker<Form2>(ctx);
}
