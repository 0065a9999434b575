#pragma once
// Window messages of the shell's dialogs (the view's own messages are numbered in the same
// WM_USER range; these two keep the numbers the view expects).

#include "platform/WinTypes.h"

// Posted to the parent when a progress window or the splash panel has been up for a while
// (both parameters 0). The receiver may ignore it.
constexpr UINT WM_POPUP_TIMEOUT = WM_USER + 9;
// Sent by the progress window's Cancel to the window that owns the running operation.
constexpr UINT WM_CANCEL_OPERATION = WM_USER + 4;
