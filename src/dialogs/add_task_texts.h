#pragma once

#include <QString>

// Every user-visible text of the add-task dialog, spelled exactly as the
// program shows it.
namespace AddTaskTexts {

inline const QString Title = QStringLiteral("添加新任务");
inline const QString Tab = QStringLiteral("新任务");
inline const QString SourceFrame = QStringLiteral("原地址：");
inline const QString NameLabel = QStringLiteral("文件名：");
inline const QString DestFrame = QStringLiteral("目地地址：");
inline const QString StartFrame = QStringLiteral("开始...");
inline const QString ModeFrame = QStringLiteral("移动方式：");
inline const QString RemarkFrame = QStringLiteral("备注：");
inline const QString Browse = QStringLiteral("...");
inline const QString StartManual = QStringLiteral("手动");
inline const QString StartNow = QStringLiteral("立即");
inline const QString UseAsDefault = QStringLiteral("使用本次设置成为默认设置 以后不再提问！");
inline const QString AddDirectory = QStringLiteral("添加要移动目录");
inline const QString Ok = QStringLiteral("确定");
inline const QString Next = QStringLiteral("下一个");
inline const QString Cancel = QStringLiteral("取消");
inline const QString OpenTitle = QStringLiteral("Korvan--请你选择...");
inline const QString OpenFilter = QStringLiteral(
    "所有文件(*.*)|*.*|文本文件(*.txt)|*.txt|程序文件(*.exe)|*.exe|音乐文件(*.mp3;*.m3u;*.wav)|*.mp3;*.m3u;*.wav");
inline const QString NoDefaultDest = QStringLiteral("没有设置目地地址，请设置！！");
inline const QString MissingForQueue = QStringLiteral("没有输入原文件地地或目地地址 请确认！");
inline const QString MissingForNow = QStringLiteral("没有准确的目地地址");
inline const QString EngineBusy = QStringLiteral("正在执行其他文件操作，请等它完成后再立即执行！");

} // namespace AddTaskTexts
