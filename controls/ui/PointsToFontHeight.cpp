#include "controls/ui/PointsToFontHeight.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

int PointsToFontHeight(int points)
{
    double dpi = 96.0;
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* screen = app->primaryScreen())
            dpi = screen->logicalDotsPerInchY();
    return -static_cast<int>(std::lround(points * dpi / 72.0));
}
