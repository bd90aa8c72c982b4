#pragma once

#include <QComboBox>

// A combo box whose entries are read afresh whenever the user is about to
// choose among them: before its list pops up and before the arrow keys step
// through it. The owner refills it on aboutToChoose() with setEntries().
class RefreshingComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

    // Replaces the entries (text and data per entry) when they differ from
    // the ones shown, keeping the entry with the same data current; returns
    // true when anything changed. The current index is -1 when the entry
    // that was current is gone. Emits no signal of the combo box.
    bool setEntries(const QStringList &texts, const QStringList &data);

signals:
    void aboutToChoose();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
};
