#pragma once

// Nothing is saved between runs, and neither do Qt's own dialogs save
// anything: without this, every file dialog leaves its history, sidebar and
// view in ~/.config/QtProject.conf. Call once, before any dialog is made.
void keepQtSettingsOffDisk();
