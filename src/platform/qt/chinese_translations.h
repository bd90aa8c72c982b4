#pragma once

class QCoreApplication;

// Installs Qt's own Simplified Chinese catalogue, so that standard buttons
// read 是/否/确定/取消 and the file dialogs speak Chinese. Returns false when
// none could be loaded. (Dates and sizes follow QLocale's default, which
// main sets to zh_CN.)
bool installChineseTranslations(QCoreApplication &app);
