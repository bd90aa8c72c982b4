#include "gui/accessibility.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

void nameForAccessibility(QWidget *root)
{
    if (!root)
        return;
    if (root->isWindow() && root->accessibleName().isEmpty() && !root->windowTitle().isEmpty())
        root->setAccessibleName(root->windowTitle());
    // Buttons, check boxes, frames and labels are named by their captions
    // already; a box is named by the label that stands for it.
    for (QLabel *label : root->findChildren<QLabel *>()) {
        QWidget *buddy = label->buddy();
        if (buddy && buddy->accessibleName().isEmpty())
            buddy->setAccessibleName(label->text().remove(u'&').simplified());
    }
    // The text field inside an editable box speaks for the box.
    for (QComboBox *box : root->findChildren<QComboBox *>()) {
        if (QLineEdit *edit = box->lineEdit(); edit && edit->accessibleName().isEmpty())
            edit->setAccessibleName(box->accessibleName());
    }
}

QStringList unnamedControls(QWidget *root)
{
    QStringList unnamed;
    const QList<QWidget *> widgets = root->findChildren<QWidget *>();
    for (QWidget *w : QList<QWidget *> {root} + widgets) {
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        if (!iface)
            continue;
        const QAccessible::Role role = iface->role();
        // Only what a user operates or reads; containers without a role of
        // their own and the views' inner parts are left out.
        static const QList<QAccessible::Role> operated = {
            QAccessible::PushButton,   QAccessible::CheckBox,    QAccessible::RadioButton, QAccessible::ComboBox,
            QAccessible::EditableText, QAccessible::List,        QAccessible::Table,       QAccessible::Tree,
            QAccessible::ProgressBar,  QAccessible::PageTabList, QAccessible::Grouping,    QAccessible::Window,
            QAccessible::Dialog};
        if (!operated.contains(role))
            continue;
        if (!w->isVisibleTo(root) && w != root)
            continue;
        if (iface->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QStringLiteral("%1 (%2)")
                           .arg(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                          : w->objectName())
                           .arg(int(role), 0, 16);
    }
    return unnamed;
}
