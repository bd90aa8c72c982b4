#pragma once

#include <QStringList>

class QWidget;

// Names what Qt cannot name by itself: the window (its title) and every box
// that has a label standing for it (the label's text). Lists and boxes
// without any caption are named by their window.
void nameForAccessibility(QWidget *root);

// The controls below root (root included) that a screen reader would find
// without a name; empty when every one of them is named.
QStringList unnamedControls(QWidget *root);
