#pragma once

class QWidget;

// Lets screen readers and other accessibility tools operate the panel,
// which otherwise answers only the mouse: "press" shows or hides the main
// window (the double-click), "showMenu" opens the panel menu (the right
// click). Installed once, before the panel is made.
void installPanelAccessibility();
