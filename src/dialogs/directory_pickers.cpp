#include "dialogs/directory_pickers.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "dialogs/add_task_dialog.h"
#include "dialogs/directory_list.h"
#include "gui/refreshing_combo_box.h"
#include "model/folder_names.h"
#include "model/free_space.h"
#include "model/size_text.h"
#include "model/texts.h"
#include "platform/disk_space.h"
#include "platform/disk_space_queries.h"
#include "platform/engine/fs_util.h"
#include "platform/user_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

const QString kForm5Title = QStringLiteral("保存到的目录");
const QString kForm5Tab = QStringLiteral("保存...");
const QString kForm2Title = QStringLiteral("要移动的正个目录");
const QString kForm2Tab = QStringLiteral("目录");
const QString kDriveListName = QStringLiteral("驱动器");
const QString kDirListName = QStringLiteral("目录");
const QString kOk = QStringLiteral("确定");
const QString kCancel = QStringLiteral("取消");
const QString kNewFolder = QStringLiteral("新建文件夹");
const QString kSamePlace = QStringLiteral("目地地址与原地址相同 无法进行移动！！");
const QString kPromptHead = QStringLiteral("当前文件为：");
const QString kPromptTail = QStringLiteral("新建文件夹名字为：");
const QString kAskTitle = QStringLiteral("Korvan想问？");
const QString kNameHasSlash = QStringLiteral("文件夹名字中不能有“/”，没有新建文件夹！");
const QString kAccessRefused = QStringLiteral("没有权限在这个目录中新建文件夹：");
const QString kCreateFailed = QStringLiteral("无法新建文件夹：");
const QString kCrLf = QStringLiteral("\r\n");

// One mkdir, its failure sorted the way mddir treats it.
FolderAttempt makeFolder(const QString &path, int *error)
{
    if (path.contains(QChar(0))) {
        *error = EINVAL;
        return FolderAttempt::Failed;
    }
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return FolderAttempt::Created;
    *error = errno;
    switch (*error) {
    case EEXIST: return FolderAttempt::Exists;
    case EACCES:
    case EPERM:
    case EROFS: return FolderAttempt::AccessRefused;
    default: return FolderAttempt::Failed;
    }
}

QString homeOrRoot()
{
    const QString home = QDir::homePath();
    return QFileInfo(home).isDir() ? home : QStringLiteral("/");
}

} // namespace

DirectoryPicker::DirectoryPicker(AppContext &ctx, const QString &title, const QString &tabCaption, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_ctx(ctx)
{
    setWindowTitle(title);
    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    auto *page = new QWidget(TabStrip1);
    TabStrip1->addTab(page, tabCaption);
    outer->addWidget(TabStrip1);

    auto *pageLayout = new QVBoxLayout(page);
    Frame1 = new QGroupBox(page);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frameLayout = new QVBoxLayout(Frame1);
    Drive1 = new RefreshingComboBox(Frame1);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1 = new DirectoryList(Frame1);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setMinimumSize(260, 240);
    frameLayout->addWidget(Drive1);
    frameLayout->addWidget(Dir1);
    pageLayout->addWidget(Frame1);
    m_buttons = new QHBoxLayout;
    pageLayout->addLayout(m_buttons);
    Frame1->setAccessibleName(title);
    Drive1->setAccessibleName(kDriveListName);
    Dir1->setAccessibleName(kDirListName);

    fillDrives();
    Dir1->setPath(homeOrRoot());
    showDriveOfPath();
    connect(Dir1, &DirectoryList::pathChanged, this, [this] { showDriveOfPath(); });
    connect(Drive1, &QComboBox::activated, this, [this] { Drive1_Change(); });
    // Media come and go: the list is read again each time it opens.
    connect(Drive1, &RefreshingComboBox::aboutToChoose, this, [this] { fillDrives(); });
}

QString DirectoryPicker::currentPath() const
{
    return Dir1->path();
}

void DirectoryPicker::setCurrentPath(const QString &path)
{
    Dir1->setPath(path);
}

void DirectoryPicker::fillDrives()
{
    QList<VolumeInfo> volumes = m_ctx.svc.disk ? m_ctx.svc.disk->mountedVolumes() : QList<VolumeInfo>();
    // The root is always there to browse from, even where it is an overlay
    // the volume list leaves out.
    const bool hasRoot = std::any_of(volumes.cbegin(), volumes.cend(),
                                     [](const VolumeInfo &v) { return v.rootPath == QStringLiteral("/"); });
    if (!hasRoot)
        volumes.prepend(VolumeInfo {QStringLiteral("/"), QString()});
    QStringList texts;
    QStringList roots;
    for (const VolumeInfo &v : volumes) {
        texts << FreeSpace::chooserEntry(v.rootPath, v.label);
        roots << v.rootPath;
    }
    if (Drive1->setEntries(texts, roots))
        showDriveOfPath();
}

void DirectoryPicker::showDriveOfPath()
{
    QStringList roots;
    for (int i = 0; i < Drive1->count(); ++i)
        roots << Drive1->itemData(i).toString();
    const QSignalBlocker quiet(Drive1);
    Drive1->setCurrentIndex(FreeSpace::volumeHolding(roots, Dir1->path()));
}

void DirectoryPicker::Drive1_Change()
{
    const QString root = Drive1->currentData().toString();
    if (root.isEmpty() || !m_ctx.svc.disk) {
        showDriveOfPath();
        return;
    }
    // Opening a volume that does not answer (a hung network mount) would
    // hold the window up: it is asked off the window's thread first, and
    // one that fails or takes too long is ignored like a drive without a
    // medium.
    if (!volumeProbe)
        volumeProbe = new DiskSpaceQueries(*m_ctx.svc.disk, this);
    volumeProbe->ask(root, [this, root](const std::optional<DiskFreeSpace> &answer) {
        if (m_ctx.m.exitAllowed)
            return;
        if (!answer || !Dir1->openFolder(root))
            showDriveOfPath();
    });
}

Form5::Form5(AppContext &ctx, QWidget *parent)
    : DirectoryPicker(ctx, kForm5Title, kForm5Tab, parent)
{
    setObjectName(QStringLiteral("Form5"));
    Command3 = new QPushButton(kOk, this);
    Command2 = new QPushButton(kCancel, this);
    Command1 = new QPushButton(kNewFolder, this);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command2->setObjectName(QStringLiteral("Command2"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command2->setAutoDefault(false);
    Command3->setDefault(true);
    m_buttons->addWidget(Command1);
    m_buttons->addStretch(1);
    m_buttons->addWidget(Command3);
    m_buttons->addWidget(Command2);
    setTabOrder(Dir1, Command3);
    setTabOrder(Command3, Command2);
    setTabOrder(Command2, Command1);
    Dir1->setFocus();

    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void Form5::Command3_Click()
{
    // The folder the user highlighted is the one chosen, not the open one
    // around it.
    const QString dest = withTrailingSeparator(Dir1->highlightedPath());
    const auto [source, name] = m_ctx.addTaskHolds ? m_ctx.addTaskHolds() : QPair<QString, QString>();
    if (dest + name == source) {
        m_ctx.svc.dialogs->message(kSamePlace, Texts::TitleKorvan);
        return;
    }
    // The add-task dialog offers the choice in its destination box.
    m_ctx.m.chooseDefaultDest(dest);
    m_chosen = dest;
    accept();
}

void Form5::Command1_Click()
{
    const QString made = mddir(Dir1->path());
    Dir1->refresh();
    if (!made.isEmpty())
        Dir1->showSubfolder(pathName(made));
}

QString Form5::mddir(const QString &f2_path)
{
    BusyScope busy(m_ctx);
    UserDialogs &dialogs = *m_ctx.svc.dialogs;
    const QString answer = dialogs.inputBox(kPromptHead + kCrLf + f2_path + kCrLf + kPromptTail, kAskTitle, kNewFolder)
                               .value_or(QString());
    // A cancelled box (or an emptied name) means no new folder at all: an
    // empty name would name the current folder itself and lead to "1".
    if (m_ctx.m.exitAllowed || answer.isEmpty())
        return QString();
    // A "/" would put the folder somewhere else than where the user looks.
    if (answer.contains(u'/')) {
        dialogs.message(kNameHasSlash, Texts::TitleKorvan);
        return QString();
    }
    int error = 0;
    const NewFolderOutcome outcome = createNumberedFolder(
        f2_path, answer, [&error](const QString &path) { return makeFolder(path, &error); });
    switch (outcome.result) {
    case FolderAttempt::Created: return outcome.path;
    case FolderAttempt::AccessRefused: dialogs.message(kAccessRefused + kCrLf + f2_path, Texts::TitleKorvan); break;
    case FolderAttempt::Exists:
    case FolderAttempt::Failed:
        dialogs.message(kCreateFailed + kCrLf + outcome.path + kCrLf + FsUtil::errorText(error), Texts::TitleKorvan);
        break;
    }
    return QString();
}

Form2::Form2(AppContext &ctx, QWidget *parent)
    : DirectoryPicker(ctx, kForm2Title, kForm2Tab, parent)
{
    setObjectName(QStringLiteral("Form2"));
    Command2 = new QPushButton(kOk, this);
    Command1 = new QPushButton(kCancel, this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setAutoDefault(false);
    Command2->setDefault(true);
    m_buttons->addStretch(1);
    m_buttons->addWidget(Command2);
    m_buttons->addWidget(Command1);
    setTabOrder(Dir1, Command2);
    setTabOrder(Command2, Command1);
    Dir1->setFocus();

    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command1, &QPushButton::clicked, this, &QDialog::reject);
}

void Form2::Command2_Click()
{
    m_chosen = Dir1->highlightedPath();
    accept();
}

namespace {

template<typename Picker>
std::optional<QString> showPicker(AppContext &ctx)
{
    if (ctx.m.exitAllowed)
        return std::nullopt;
    BusyScope busy(ctx);
    Picker picker(ctx);
    QScopedValueRollback<QDialog *> open(ctx.openModal, &picker);
    ctx.svc.dialogs->execModal(&picker);
    return picker.chosen();
}

} // namespace

std::optional<QString> showForm5(AppContext &ctx)
{
    return showPicker<Form5>(ctx);
}

std::optional<QString> showForm2(AppContext &ctx)
{
    return showPicker<Form2>(ctx);
}
