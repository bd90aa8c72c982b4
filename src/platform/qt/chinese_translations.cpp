#include "platform/qt/chinese_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installChineseTranslations(QCoreApplication &app)
{
    // Everything of Qt the program uses (Core, Gui, Widgets, Network) is
    // translated in qtbase; "qt_zh_CN" is the catalogue that gathers all
    // modules' ones and is only the fallback where qtbase's own is missing.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const QString &name : {QStringLiteral("qtbase_zh_CN"), QStringLiteral("qt_zh_CN")}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(name, dir) && QCoreApplication::installTranslator(translator))
            return true;
        delete translator;
    }
    return false;
}
