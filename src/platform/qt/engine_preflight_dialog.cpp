// The question of the look at a target before the first write: the items
// it cannot hold, all at once, in a list the user can read and select.
#include "platform/qt/engine_preflight_dialog.h"

#include "platform/engine/engine_texts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

EnginePreflightDialog::EnginePreflightDialog(const PreflightQuestion &question, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(EngineTexts::PreflightTitle);
    auto *layout = new QVBoxLayout(this);
    auto *header = new QLabel(EngineTexts::PreflightHeader.arg(question.itemCount), this);
    header->setObjectName(QStringLiteral("headerLabel"));
    header->setTextFormat(Qt::PlainText);
    layout->addWidget(header);

    QStringList lines;
    for (const PreflightItem &item : question.items)
        lines.append(EngineTexts::PreflightLine.arg(item.path, item.reason));
    if (question.itemCount > question.items.size())
        lines.append(EngineTexts::PreflightMore.arg(question.itemCount - question.items.size()));
    auto *list = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
    list->setObjectName(QStringLiteral("itemList"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    const QFontMetrics metrics = list->fontMetrics();
    list->setMinimumSize(metrics.averageCharWidth() * 110, metrics.lineSpacing() * 12);
    layout->addWidget(list);

    auto *buttons = new QDialogButtonBox(this);
    auto *skip = buttons->addButton(EngineTexts::PreflightSkip, QDialogButtonBox::AcceptRole);
    skip->setObjectName(QStringLiteral("skipButton"));
    auto *cancel = buttons->addButton(EngineTexts::PreflightCancel, QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setDefault(true); // nothing is written unless the user says so
    connect(skip, &QPushButton::clicked, this, [this] {
        m_answer = PreflightAnswer::SkipItems;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
}
