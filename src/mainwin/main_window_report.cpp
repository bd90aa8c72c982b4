// The main window's report "生成报表": the save dialog, then the queue written
// out as one text file.
#include "app/app_context.h"
#include "app/busy_scope.h"
#include "mainwin/main_window.h"
#include "model/report_file.h"
#include "model/texts.h"
#include "platform/engine/fs_util.h"
#include "platform/user_dialogs.h"

namespace {

const QString kNoRecords = QStringLiteral("没有任何记录 无法生成报表！！");
const QString kSignTitle = QStringLiteral("请你签字！！");
const QString kFilter = QStringLiteral("文本文件(*.txt)|*.txt");
const QString kNoSignature = QStringLiteral("没有签名，请确认！！");
const QString kDone = QStringLiteral("报表生成完毕");
const QString kCannotOpen = QStringLiteral("无法打开报表文件：");
const QString kCannotWrite = QStringLiteral("无法写入报表文件：");
const QString kUnknownReason = QStringLiteral("原因不明");

// The reason in the program's words: the system's own text is English.
QString failureText(const QString &what, const QString &path, int error)
{
    return what + path + u'\n' + (error != 0 ? FsUtil::errorText(error) : kUnknownReason);
}

} // namespace

// Writes the queue to the report file the user signs for.
void Form1::crtxt()
{
    BusyScope busy(m_ctx);
    if (m_ctx.queue.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoRecords, Texts::TitleKorvan);
        return;
    }
    // The name chosen last time is offered again; a cancelled dialog counts
    // as no signature and leaves that name as it was.
    const QString fileName = m_ctx.svc.dialogs->saveFileName(kSignTitle, m_reportFileName, kFilter);
    if (m_ctx.m.exitAllowed)
        return;
    if (fileName.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoSignature, Texts::TitleKorvan);
        return;
    }
    m_reportFileName = fileName;

    // The rows are taken now: whatever happens to the queue while the report
    // yields, it writes what the user saw when signing.
    const QList<ReportRow> rows = reportRows(m_ctx.queue);
    if (rows.isEmpty()) {
        // The queue was emptied while the dialog was open.
        m_ctx.svc.dialogs->message(kNoRecords, Texts::TitleKorvan);
        return;
    }
    const ReportWrite result = appendReport(fileName, rows, *m_ctx.svc.yield);
    switch (result.outcome) {
    case ReportWrite::Outcome::CannotOpen:
        m_ctx.svc.dialogs->message(failureText(kCannotOpen, fileName, result.error), Texts::TitleKorvan);
        return;
    case ReportWrite::Outcome::CannotWrite:
        m_ctx.svc.dialogs->message(failureText(kCannotWrite, fileName, result.error), Texts::TitleKorvan);
        return;
    case ReportWrite::Outcome::Written: break;
    }
    if (m_ctx.m.exitAllowed)
        return;
    m_ctx.svc.dialogs->message(kDone + fileName, Texts::TitleKorvan);
}
