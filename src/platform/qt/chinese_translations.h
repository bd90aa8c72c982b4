#pragma once

class QCoreApplication;

// Installs Qt's own Simplified Chinese catalogues, so that standard buttons
// read 是/否/确定/取消. Returns false when none could be loaded.
bool installChineseTranslations(QCoreApplication &app);
