#pragma once
// The globals a test of the main view on the virtual programmer leaves behind, set back for the
// next test: call it after the view and its header are gone.

#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationState.h"
#include "operations/ScriptFlags.h"
#include "platform/GuiThread.h"
#include "shell/Language.h"

namespace tonrig::test {

inline void ResetViewGlobals()
{
    g_ProgrammerLink.ResetForTest();
    for (LeaseHolder holder : { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify })
        g_LinkLease.Release(holder);
    g_LinkLease.TakeLinkLost();
    g_nOperationState = kStateIdle;
    g_nProgrammerModel = kModelZvC;
    g_nCurrentClass = kNoDeviceClass;
    g_CurrentDevice = CDeviceClass();
    g_bScriptRunning = false;
    g_bCancelOperation = 1;
    g_CFGManager.ResetState();
    InitDeviceClassTable();
    g_Language.Reset();
    platform::ResetShutdownForTest();
}

} // namespace tonrig::test
