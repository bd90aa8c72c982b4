#include "mainwin/main_window.h"

// Writes the queue to the report file the user signs for.
void Form1::crtxt()
{
}
