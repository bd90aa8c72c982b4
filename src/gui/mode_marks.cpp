#include "gui/mode_marks.h"

#include "model/texts.h"

#include <QAction>
#include <QRadioButton>

void setModeMarks(const ModeMarks &marks, const QString &mode)
{
    const std::pair<QAction *, QString> faces[] = {
        {marks.copy, Texts::ModeCopy}, {marks.cut, Texts::ModeCut}, {marks.del, Texts::ModeDelete}};
    for (const auto &[mark, word] : faces)
        if (mark)
            mark->setChecked(mode == word);
}

void setModeOptions(const ModeOptions &options, const QString &mode)
{
    if (mode == Texts::ModeCopy)
        options.copy->setChecked(true);
    else if (mode == Texts::ModeCut)
        options.cut->setChecked(true);
    else if (mode == Texts::ModeDelete)
        options.del->setChecked(true);
    else
        clearModeOptions(options);
}

void clearModeOptions(const ModeOptions &options)
{
    for (QRadioButton *o : {options.copy, options.cut, options.del}) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
}
