#pragma once

#include <QString>

// Every user-visible text of the candidate window and its menu, spelled
// exactly as the program shows it.
namespace CandidateTexts {

// Window, tab and controls.
inline const QString Caption = QStringLiteral("多移动候选选择");
inline const QString Tab = QStringLiteral("多移动候选选择..");
inline const QString SetAllDestinations = QStringLiteral("设置统一目地地址");
inline const QString EditorIdle = QStringLiteral("未选定选项！");
inline const QString DestinationFrame = QStringLiteral("单个目地址设定");
inline const QString Browse = QStringLiteral("...");
inline const QString RemarkFrame = QStringLiteral("备注：");
inline const QString ModeFrame = QStringLiteral("移动模式：");
inline const QString Done = QStringLiteral("完成");
inline const QString UntickedFrame = QStringLiteral("对于没有选中的记录");
inline const QString UntickedRemove = QStringLiteral("不再提问直接删除");
inline const QString UntickedKeep = QStringLiteral("不再提问保留记录");
inline const QString UntickedAsk = QStringLiteral("始终提问");
inline const QString Confirm = QStringLiteral("确定");
inline const QString Cancel = QStringLiteral("取消");

// Messages and questions (built ones: prefix + path + suffix).
inline const QString NoDestinationTyped = QStringLiteral("目地地址没有输入 请再次输入 ！！");
inline const QString MissingDestinationPrefix = QStringLiteral("当前");
inline const QString MissingDestinationSuffix = QStringLiteral("这条记录没有目地地址！");
inline const QString RemoveUntickedPrefix = QStringLiteral("请问");
inline const QString RemoveUntickedSuffix = QStringLiteral("这条记录，是否删除？");
inline const QString KeepDefaultDestPrefix = QStringLiteral("当前使用目地地址为：");
inline const QString KeepDefaultDestSuffix = QStringLiteral("是否继续使用？");
inline const QString KeepExistingDestinations = QStringLiteral("如果记录已有目地地址，是否保留原目地地址？");

// The popup menu "候选操作".
inline const QString Menu = QStringLiteral("候选操作");
inline const QString MenuChangeDest = QStringLiteral("修改目地地址");
inline const QString MenuChangeMode = QStringLiteral("修改移动方式");
inline const QString MenuChangeRemark = QStringLiteral("修改备注");
inline const QString MenuRemoveRow = QStringLiteral("移除当前记录");
inline const QString MenuClearAll = QStringLiteral("全部清除");
inline const QString MenuTryOut = QStringLiteral("试运行");
inline const QString RemarkPrompt = QStringLiteral("请输入备注:");

} // namespace CandidateTexts
