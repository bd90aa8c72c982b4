#pragma once

#include <QDialog>

class AppContext;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

// The about box "关于": the product, its author and date, the program's
// icon, and a button that starts a mail to the author.
class Form6 : public QDialog
{
    Q_OBJECT
public:
    explicit Form6(AppContext &ctx, QWidget *parent = nullptr);

    QTabWidget *TabStrip1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Command2 = nullptr; // the author's address
    QPushButton *Command1 = nullptr; // "确定"

    // The mail link Command2 opens.
    static QUrl mailLink();
    // Opens a new mail to the author; the box stays open.
    void Command2_Click();

private:
    AppContext &m_ctx;
};

// Shows the about box "关于" modally.
void showForm6(AppContext &ctx);
