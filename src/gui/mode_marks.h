#pragma once

#include <QString>

class QAction;
class QRadioButton;

// The three faces of a mode word in a window: copy "复制", cut "剪贴" and
// delete "删除", as menu marks or as options.
struct ModeMarks
{
    QAction *copy = nullptr;
    QAction *cut = nullptr;
    QAction *del = nullptr;
};
struct ModeOptions
{
    QRadioButton *copy = nullptr;
    QRadioButton *cut = nullptr;
    QRadioButton *del = nullptr;
};

// Checks the mark of mode and unchecks the other two; a word that names no
// mode unchecks all three.
void setModeMarks(const ModeMarks &marks, const QString &mode);
// Checks the option of mode; a word that names no mode unchecks all three.
void setModeOptions(const ModeOptions &options, const QString &mode);
// Unchecks all three options (which radio buttons do not do on their own).
void clearModeOptions(const ModeOptions &options);
