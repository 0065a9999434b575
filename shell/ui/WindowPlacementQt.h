#pragma once
// A widget's placement as the registry's 40-byte record, and back.

#include "shell/RegistryKey.h"

class QWidget;

WindowPlacement GetWindowPlacement(const QWidget& window);
void SetWindowPlacement(QWidget& window, const WindowPlacement& placement);
