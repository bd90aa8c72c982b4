#pragma once

class AppContext;

// Shows the about box "关于" modally.
void showForm6(AppContext &ctx);
