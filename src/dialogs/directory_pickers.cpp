#include "dialogs/directory_pickers.h"

#include "dialogs/add_task_dialog.h"
#include "mainwin/app_context.h"
#include "model/size_text.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

// A plain directory chooser stands in for the pickers until they are built.
void showForm5(AppContext &ctx)
{
    QString dir = QFileDialog::getExistingDirectory(nullptr, QStringLiteral("保存到的目录"), QDir::homePath());
    if (dir.isEmpty())
        return;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    ctx.form4->Combo1->addItem(dir);
    ctx.form4->Combo1->setCurrentText(dir);
    ctx.m.defaultDest = dir;
}

void showForm2(AppContext &ctx)
{
    const QString dir = QFileDialog::getExistingDirectory(nullptr, QStringLiteral("要移动的正个目录"), QDir::homePath());
    if (dir.isEmpty())
        return;
    ctx.form4->Text1->setText(dir);
    ctx.form4->Text3->setText(pathName(dir));
}
