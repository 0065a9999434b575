// The configuration grid inside the program's main window, whose command table puts Stop Script
// on Esc: Esc in an open setting list ends that edit and never reaches the window's command.

#include "operations/ui/ConfigGrid.h"

#include "catalogue/DeviceClassTable.h"
#include "controls/ui/grid/GridInPlaceList.h"
#include "operations/OperationState.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "OneFieldPic.h"
#include "ViewGlobalsReset.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr UINT kStopScript = 32963;

TEST(ConfigGridFrame, EscInAnOpenSettingListEndsTheEditAndNeverStopsAScript)
{
    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    {
        CTonrigApp app;
        ASSERT_TRUE(app.InitInstance());
        CMainFrame* frame = app.MainFrame();
        ASSERT_NE(frame, nullptr);
        CTonrigView* view = frame->MainView();
        QCoreApplication::processEvents();

        tonrig::test::SetUpOneFieldPic(*view, "ESCTEST");
        if (HasFatalFailure())
            return;
        view->BufferCommands().SetBufferIndex(3);
        view->BufferCommands().ShowBufferTab(1);

        int stops = 0;
        frame->Commands().Bind(kStopScript, [&] { ++stops; });
        frame->show();
        QApplication::setActiveWindow(frame);
        QCoreApplication::processEvents();
        CConfigGrid& grid = view->ConfigGrid();
        ASSERT_TRUE(grid.isVisible());

        grid.SetFocusCell(1, CConfigGrid::kSettingColumn);
        grid.setFocus();
        grid.BeginCellEdit(1, CConfigGrid::kSettingColumn, QPoint(-1, -1), GridEditStart::Char('R'));
        auto* list = grid.viewport()->findChild<CGridInPlaceList*>();
        ASSERT_NE(list, nullptr);
        QTest::keyClick(list->Edit(), Qt::Key_Escape);
        EXPECT_EQ(stops, 0);
        EXPECT_FALSE(grid.IsItemEditing(1, CConfigGrid::kSettingColumn));
        EXPECT_EQ(grid.GetItemText(1, CConfigGrid::kSettingColumn), "HS");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();

        // With no editor open Esc is the window's.
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_Escape);
        EXPECT_EQ(stops, 1);

        QFile::remove(QString::fromStdString(GetAppDataFolder() + "/devices/ESCTEST.dev"));
        g_nOperationState = kStateIdle;
    }
    tonrig::test::ResetViewGlobals();
}

} // namespace
