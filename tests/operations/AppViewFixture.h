#pragma once
// The whole program started without a programmer: the application's instance with its main frame
// and view, the view's buffer commands, a settings file and message boxes of the test's own and a
// scratch folder. Tests derive from it and add their own set-up after calling SetUp.

#include "buffer/BufferModel.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tonrig::test {

class AppViewFixture : public testing::Test {
protected:
    explicit AppViewFixture(int boxAnswer = IDOK)
        : boxes(boxAnswer)
    {
    }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(app.InitInstance(false));
        view = g_pMainView;
        ASSERT_NE(view, nullptr);
        commands = &view->BufferCommands();
    }
    void TearDown() override
    {
        g_LinkLease.Release(g_LinkLease.Holder());
        g_nOperationState = kStateIdle;
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
    }

    void SelectDevice(int index)
    {
        InitDeviceClassTable();
        g_CurrentDevice = g_DeviceClassTable[index];
        g_nCurrentClass = index;
    }
    std::string Path(const std::string& name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::vector<std::uint8_t>& Main() { return view->Buffers().Buffer(buffer::kMainBuffer); }
    std::string Log() const { return view->MessageLog().GetText(); }
    std::string Title() const { return app.MainFrame()->windowTitle().toStdString(); }
    bool Execute(UINT id) { return app.MainFrame()->Commands().Execute(id); }

    ScopedSettingsFile settings;
    RecordingMessageBox boxes;
    QTemporaryDir dir;
    CTonrigApp app;
    CTonrigView* view = nullptr;
    CBufferCommands* commands = nullptr;
};

} // namespace tonrig::test
