#include "gui/refreshing_combo_box.h"

#include <QKeyEvent>
#include <QSignalBlocker>

void RefreshingComboBox::showPopup()
{
    emit aboutToChoose();
    QComboBox::showPopup();
}

void RefreshingComboBox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End: emit aboutToChoose(); break;
    default: break;
    }
    QComboBox::keyPressEvent(event);
}

void RefreshingComboBox::wheelEvent(QWheelEvent *event)
{
    emit aboutToChoose();
    QComboBox::wheelEvent(event);
}

bool RefreshingComboBox::setEntries(const QStringList &texts, const QStringList &data)
{
    bool same = count() == texts.size();
    for (int i = 0; same && i < count(); ++i)
        same = itemText(i) == texts.at(i) && itemData(i).toString() == data.value(i);
    if (same)
        return false;
    const QString current = currentData().toString();
    const bool hadCurrent = currentIndex() >= 0;
    const QSignalBlocker quiet(this);
    clear();
    for (qsizetype i = 0; i < texts.size(); ++i)
        addItem(texts.at(i), data.value(i));
    setCurrentIndex(hadCurrent ? findData(current) : -1);
    return true;
}
