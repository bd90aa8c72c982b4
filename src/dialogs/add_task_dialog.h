#pragma once

#include <QWidget>

class AppContext;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

// The add-task dialog "添加新任务": one path at a time becomes a task, is
// performed at once, or is queued with "下一个". Closing only hides it until
// the program ends.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    explicit Form4(AppContext &ctx);
    // The window it opens beside, on the same screen (the panel).
    void setAnchor(const QWidget *anchor) { m_anchor = anchor; }

    QTabWidget *TabStrip1 = nullptr;
    QGroupBox *Frame1 = nullptr; // "原地址："
    QLineEdit *Text1 = nullptr; // full source path
    QPushButton *Command1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text3 = nullptr; // name shown in the queue
    QGroupBox *Frame2 = nullptr; // "目地地址："
    QComboBox *Combo1 = nullptr; // destination
    QPushButton *Command2 = nullptr;
    QGroupBox *Frame3 = nullptr; // "开始..."
    QRadioButton *Option2 = nullptr; // "手动"
    QRadioButton *Option1 = nullptr; // "立即"
    QGroupBox *Frame4 = nullptr; // "移动方式："
    QRadioButton *Option5 = nullptr; // "删除"
    QRadioButton *Option4 = nullptr; // "剪贴"
    QRadioButton *Option3 = nullptr; // "复制"
    QGroupBox *Frame5 = nullptr; // "备注："
    QLineEdit *Text4 = nullptr; // remark
    QCheckBox *Check1 = nullptr; // use these settings as defaults
    QPushButton *Command3 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command4 = nullptr;

    // "立即" runs the path at once; anything else queues it.
    QString StartMode;

    // Checks the mode option of defaultMode (none when it holds no mode word).
    void showDefaultMode();
    // Opens the dialog for a new task: the source fields empty, the mode
    // option on defaultMode.
    void openEmpty();
    // Shows path (and its name) as the source.
    void offerSource(const QString &path);
    // Adds dest to the destination box and shows it there.
    void offerDestination(const QString &dest);
    // The source path, its name and the destination the dialog holds.
    QString heldSource() const;
    QString heldName() const;
    QString heldDestination() const;
    // The default box "使用本次设置成为默认设置 以后不再提问！".
    bool defaultsBoxTicked() const;
    void setDefaultsBoxTicked(bool ticked);
    // Shows the dialog when hidden, brings it above the other windows with
    // the keyboard focus in its first empty field.
    void bringToFront();

    // "使用本次设置成为默认设置 以后不再提问！" changed: useDefaults follows it,
    // but only while a default destination exists.
    void Check1_Click();
    // "...": a source file from the open-file dialog.
    void Command1_Click();
    // "...": the destination picker.
    void Command2_Click();
    // "添加要移动目录": a whole directory as the source.
    void Command3_Click();
    // "取消": hides the dialog; its fields keep their contents.
    void Command4_Click();
    // "确定": queues the path, or with "立即" performs it at once.
    void Command5_Click();
    // "下一个": queues the path and stays open for the next one.
    void Command6_Click();
    // Queues the path shown, then empties the source fields for the next
    // one and goes back to "手动".
    void addnew();

signals:
    // The default box changed; the panel menu's "开启默认设置" mark follows it.
    void defaultsBoxToggled(bool ticked);
    // A task was queued with this mode; the panel menu's mode marks show it.
    void taskAppended(const QString &mode);

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    // Appends the task the dialog shows and marks its mode in the panel menu.
    void appendRow();
    // The duplicate check on Text1; false when the command must go no
    // further (declined, the program is ending, or the dialog now shows
    // another path).
    bool passesDuplicateCheck(bool *declined);
    void runNow();
    void focusFirstEmptyField();

    AppContext &m_ctx;
    const QWidget *m_anchor = nullptr;
};
