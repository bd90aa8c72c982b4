#include "mainwin/main_window.h"

// Fills the drive chooser with the mounted volumes.
void Form1::fillDrives()
{
}

// Appends one free-space row for the drive just chosen.
void Form1::Drive1_Change()
{
}
