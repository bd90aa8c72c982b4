// The add-task dialog's controls: a one-tab tab strip holding the source,
// destination, start, mode and remark frames, the default box and the buttons.
#include "dialogs/add_task_dialog.h"

#include "dialogs/add_task_texts.h"
#include "gui/widget_helpers.h"
#include "model/texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPushButton *browseButton(QWidget *parent)
{
    auto *b = new QPushButton(AddTaskTexts::Browse, parent);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(AddTaskTexts::Browse) + 24);
    return b;
}

} // namespace

void Form4::buildControls()
{
    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    auto *page = new QWidget(TabStrip1);
    TabStrip1->addTab(page, AddTaskTexts::Tab);
    outer->addWidget(TabStrip1);
    auto *pageLayout = new QVBoxLayout(page);

    Frame1 = new QGroupBox(AddTaskTexts::SourceFrame, page);
    auto *sourceGrid = new QGridLayout(Frame1);
    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setMinimumWidth(340);
    Command1 = browseButton(Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Label1 = new QLabel(AddTaskTexts::NameLabel, Frame1);
    Text3 = new QLineEdit(Frame1);
    Text3->setObjectName(QStringLiteral("Text3"));
    Label1->setBuddy(Text3);
    sourceGrid->addWidget(Text1, 0, 0, 1, 2);
    sourceGrid->addWidget(Command1, 0, 2);
    sourceGrid->addWidget(Label1, 1, 0);
    sourceGrid->addWidget(Text3, 1, 1, 1, 2);
    sourceGrid->setColumnStretch(1, 1);
    pageLayout->addWidget(Frame1);

    Frame2 = new QGroupBox(AddTaskTexts::DestFrame, page);
    auto *destRow = new QHBoxLayout(Frame2);
    Combo1 = new QComboBox(Frame2);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    // The list holds the picker's choices only; typed text is read as it is.
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Command2 = browseButton(Frame2);
    Command2->setObjectName(QStringLiteral("Command2"));
    destRow->addWidget(Combo1, 1);
    destRow->addWidget(Command2);
    pageLayout->addWidget(Frame2);

    auto *choices = new QHBoxLayout;
    Frame3 = new QGroupBox(AddTaskTexts::StartFrame, page);
    auto *startRow = new QHBoxLayout(Frame3);
    Option2 = new QRadioButton(AddTaskTexts::StartManual, Frame3);
    Option1 = new QRadioButton(AddTaskTexts::StartNow, Frame3);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option1->setObjectName(QStringLiteral("Option1"));
    startRow->addWidget(Option2);
    startRow->addWidget(Option1);
    Frame4 = new QGroupBox(AddTaskTexts::ModeFrame, page);
    auto *modeRow = new QHBoxLayout(Frame4);
    Option5 = new QRadioButton(Texts::ModeDelete, Frame4);
    Option4 = new QRadioButton(Texts::ModeCut, Frame4);
    Option3 = new QRadioButton(Texts::ModeCopy, Frame4);
    Option5->setObjectName(QStringLiteral("Option5"));
    Option4->setObjectName(QStringLiteral("Option4"));
    Option3->setObjectName(QStringLiteral("Option3"));
    modeRow->addWidget(Option5);
    modeRow->addWidget(Option4);
    modeRow->addWidget(Option3);
    choices->addWidget(Frame3);
    choices->addWidget(Frame4, 1);
    pageLayout->addLayout(choices);

    Frame5 = new QGroupBox(AddTaskTexts::RemarkFrame, page);
    auto *remarkRow = new QHBoxLayout(Frame5);
    Text4 = new QLineEdit(Frame5);
    Text4->setObjectName(QStringLiteral("Text4"));
    remarkRow->addWidget(Text4);
    pageLayout->addWidget(Frame5);

    Check1 = new QCheckBox(AddTaskTexts::UseAsDefault, page);
    Check1->setObjectName(QStringLiteral("Check1"));
    pageLayout->addWidget(Check1);

    auto *buttons = new QHBoxLayout;
    Command3 = new QPushButton(AddTaskTexts::AddDirectory, page);
    Command5 = new QPushButton(AddTaskTexts::Ok, page);
    Command6 = new QPushButton(AddTaskTexts::Next, page);
    Command4 = new QPushButton(AddTaskTexts::Cancel, page);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command5->setObjectName(QStringLiteral("Command5"));
    Command6->setObjectName(QStringLiteral("Command6"));
    Command4->setObjectName(QStringLiteral("Command4"));
    buttons->addWidget(Command3);
    buttons->addStretch(1);
    buttons->addWidget(Command5);
    buttons->addWidget(Command6);
    buttons->addWidget(Command4);
    pageLayout->addLayout(buttons);

    // Screen readers name the boxes by the captions the user sees.
    Text1->setAccessibleName(AddTaskTexts::SourceFrame);
    Text3->setAccessibleName(AddTaskTexts::NameLabel);
    Combo1->setAccessibleName(AddTaskTexts::DestFrame);
    Combo1->lineEdit()->setAccessibleName(AddTaskTexts::DestFrame);
    Text4->setAccessibleName(AddTaskTexts::RemarkFrame);

    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Text3);
    setTabOrder(Text3, Combo1);
    setTabOrder(Combo1, Command2);
    setTabOrder(Command2, Option2);
    setTabOrder(Option2, Option5);
    setTabOrder(Option5, Text4);
    setTabOrder(Text4, Check1);
    setTabOrder(Check1, Command3);
    setTabOrder(Command3, Command5);
    setTabOrder(Command5, Command6);
    setTabOrder(Command6, Command4);
}
