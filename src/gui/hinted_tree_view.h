#pragma once

#include <QTreeView>

// A report-style list that, while it holds no row, paints one grey line of
// help in its empty area. The line is no row: the model, and whatever reads
// it (counters, reports, screen readers' rows), never sees it.
class HintedTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit HintedTreeView(QWidget *parent = nullptr);

    void setEmptyHint(const QString &text);
    QString emptyHint() const { return m_hint; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_hint;
};
