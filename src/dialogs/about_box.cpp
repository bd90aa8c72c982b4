#include "dialogs/about_box.h"

#include "mainwin/app_context.h"

void showForm6(AppContext &)
{
}
