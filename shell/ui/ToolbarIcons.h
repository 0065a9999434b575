#pragma once
// The toolbar's and the program's icons: the theme's standard icons where one fits, else a small
// tile of our own with a short label, painted at run time.

#include "platform/WinTypes.h"

#include <QIcon>

QIcon ToolbarIcon(UINT id);
QIcon ProgramIcon();
