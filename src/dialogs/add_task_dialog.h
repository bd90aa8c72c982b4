#pragma once

#include <QWidget>

class AppContext;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The add-task dialog "添加新任务": one path at a time becomes a task, is
// performed at once, or is queued with "下一个". Closing only hides it until
// the program ends.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    explicit Form4(AppContext &ctx);

    QLineEdit *Text1 = nullptr;   // full source path
    QPushButton *Command1 = nullptr;
    QLineEdit *Text3 = nullptr;   // name shown in the queue
    QComboBox *Combo1 = nullptr;  // destination
    QPushButton *Command2 = nullptr;
    QRadioButton *Option2 = nullptr; // "手动"
    QRadioButton *Option1 = nullptr; // "立即"
    QRadioButton *Option5 = nullptr; // "删除"
    QRadioButton *Option4 = nullptr; // "剪贴"
    QRadioButton *Option3 = nullptr; // "复制"
    QLineEdit *Text4 = nullptr;   // remark
    QCheckBox *Check1 = nullptr;  // use these settings as defaults
    QPushButton *Command3 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command4 = nullptr;

    // "立即" runs the path at once; anything else queues it.
    QString StartMode;

    // Leaves all three mode options unselected.
    void clearModeOptions();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AppContext &m_ctx;
};
