#include "shell/RegistryKey.h"
#include "shell/ui/WindowPlacementQt.h"

#include "support/TestEnvironment.h"

#include <QWidget>

#include <gtest/gtest.h>

TEST(WindowPlacementQt, AWindowComesBackAtItsRectangleAndShowState)
{
    tonrig::test::ScopedSettingsFile settings;
    QWidget window;
    window.setGeometry(100, 120, 640, 480);
    window.show();

    CRegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings"));
    ASSERT_TRUE(key.SaveWindowPlacement("Frame", GetWindowPlacement(window)));

    QWidget restored;
    WindowPlacement placement;
    ASSERT_TRUE(key.LoadWindowPlacement("Frame", placement));
    SetWindowPlacement(restored, placement);
    EXPECT_EQ(restored.geometry(), window.geometry());
    EXPECT_FALSE(restored.isMaximized());

    placement.showCmd = 3;
    SetWindowPlacement(restored, placement);
    EXPECT_TRUE(restored.windowState() & Qt::WindowMaximized);
}
