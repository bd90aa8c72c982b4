#pragma once

#include "gui/refreshing_combo_box.h"

#include <QDialog>

#include <optional>

class AppContext;
class DiskSpaceQueries;
class DirectoryList;
class QGroupBox;
class QHBoxLayout;
class QPushButton;
class QTabWidget;

// What both pickers share: a one-tab tab strip around a frame holding the
// drive list (the mounted volumes) and the directory list. A picker opens
// at the home folder; a volume that cannot be opened is ignored silently.
class DirectoryPicker : public QDialog
{
    Q_OBJECT
public:
    // The directory the directory list shows as current.
    QString currentPath() const;
    void setCurrentPath(const QString &path);

    QTabWidget *TabStrip1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    RefreshingComboBox *Drive1 = nullptr;
    DirectoryList *Dir1 = nullptr;

    // A volume chosen in the drive list: its root becomes current once the
    // volume has answered, unless it cannot be opened or does not answer in
    // time (the lists then stay as they were).
    void Drive1_Change();
    // Asks the chosen volume whether it answers, off the window's thread.
    // Public so that tests can wait for its answer.
    DiskSpaceQueries *volumeProbe = nullptr;

    // The folder "确定" chose, or none while the picker was not confirmed.
    std::optional<QString> chosen() const { return m_chosen; }

protected:
    DirectoryPicker(AppContext &ctx, const QString &title, const QString &tabCaption, QWidget *parent);

    AppContext &m_ctx;
    // The row under the lists that takes the picker's buttons.
    QHBoxLayout *m_buttons = nullptr;
    std::optional<QString> m_chosen;

private:
    // Reads the mounted volumes into the drive list (again each time it opens).
    void fillDrives();
    // Shows in the drive list the volume that holds the current folder.
    void showDriveOfPath();
};

// The destination picker "保存到的目录": a modal window, made afresh for each
// showing. On "确定" it stores the chosen directory in defaultDest (which the
// add-task dialog's destination box follows); "取消" changes nothing.
class Form5 : public DirectoryPicker
{
    Q_OBJECT
public:
    explicit Form5(AppContext &ctx, QWidget *parent = nullptr);

    QPushButton *Command3 = nullptr; // "确定"
    QPushButton *Command2 = nullptr; // "取消"
    QPushButton *Command1 = nullptr; // "新建文件夹"

    // "确定": takes the highlighted folder (the open one when none is);
    // refuses the folder that already holds the add-task dialog's source,
    // otherwise writes the destination back and closes.
    void Command3_Click();
    // "新建文件夹": a new folder in the current directory, then the list again.
    void Command1_Click();
    // Asks for a name and creates that folder in f2_path, numbering the name
    // while it exists. A cancelled box or an empty name creates nothing.
    // Returns the folder made, or empty (with a message saying why, unless
    // the name was empty or the program is ending).
    QString mddir(const QString &f2_path);
};

// The directory picker "要移动的正个目录": chooses a whole directory, which the
// add-task dialog takes as its source.
class Form2 : public DirectoryPicker
{
    Q_OBJECT
public:
    explicit Form2(AppContext &ctx, QWidget *parent = nullptr);

    QPushButton *Command2 = nullptr; // "确定"
    QPushButton *Command1 = nullptr; // "取消"

    // "确定": the highlighted folder (the open one when none is) is the choice.
    void Command2_Click();
};

// Shows Form5 modally through the dialogs service and waits until it closes;
// returns the folder chosen, or none when cancelled or the program is ending.
std::optional<QString> showForm5(AppContext &ctx);
// Shows Form2 modally through the dialogs service and waits until it closes;
// returns the folder chosen, or none when cancelled or the program is ending.
std::optional<QString> showForm2(AppContext &ctx);
