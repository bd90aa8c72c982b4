#pragma once

#include <QWidget>

class AppContext;
class QTreeView;

// The candidate window "多移动候选选择": several dropped paths are reviewed
// here before they enter the queue. It refuses to close (it minimises) while
// it holds candidates.
class Form7 : public QWidget
{
    Q_OBJECT
public:
    explicit Form7(AppContext &ctx);

    QTreeView *ListView1 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AppContext &m_ctx;
};
