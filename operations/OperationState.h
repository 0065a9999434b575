#pragma once
// The state of the device operations that the shell and the catalogue read: what the view is
// doing now and which device class is set up. Written by the GUI thread and the device setup.

#include "catalogue/DeviceClass.h"
#include "link/MonitorSink.h" // WM_PROGRAMMER_CHANGED, WM_USB_INIT
#include "platform/WinTypes.h"
#include "shell/ShellMessages.h"

#include <atomic>

// 0 no programmer connected, 1 idle, 2 identifying, 3 read, 4 write, 5 erase, 6 verify,
// 7 blank check.
extern int g_nOperationState;

// g_nCurrentClass and kNoDeviceClass belong to the catalogue.

constexpr int kStateDisconnected = 0;
constexpr int kStateIdle = 1;
constexpr int kStateIdentifying = 2;

// 1 whenever no operation's data pump runs; setting it asks a running one to stop.
extern std::atomic<int> g_bCancelOperation;

// True while no operation runs: the selection commands and buffer edits act only then.
inline bool IsOperationIdle()
{
    return g_nOperationState == kStateDisconnected || g_nOperationState == kStateIdle;
}

// Messages of the main view.
constexpr UINT WM_READ_DONE = WM_USER + 0;
constexpr UINT WM_DEVICE_DETECTED = WM_USER + 3; // lParam: the device class
constexpr UINT WM_BLANK_CHECK_FAILED = WM_USER + 5;
constexpr UINT WM_BLANK_CHECK_DONE = WM_USER + 6;
constexpr UINT WM_VERIFY_DONE = WM_USER + 7;
constexpr UINT WM_WRITE_DONE = WM_USER + 8;
constexpr UINT WM_OPEN_FILE = WM_USER + 10;
constexpr UINT WM_ERASE_DONE = WM_USER + 15;
constexpr UINT WM_DEVICE_SETUP = WM_USER + 19;
constexpr UINT WM_BUFFER_REFRESH = WM_USER + 18; // a read block landed inside the hex view's visible rows
constexpr UINT WM_RUN_SCRIPT_TEXT = WM_USER + 20;
