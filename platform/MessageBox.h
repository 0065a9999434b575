#pragma once
// Message boxes go through one injectable service: the program installs one that shows a real
// box on the GUI thread; tests install a responder that records every box and answers it.

#include "platform/WinTypes.h"

#include <functional>
#include <string>

// Button sets and icons, as the system's code names them.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNOCANCEL = 0x03;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_RETRYCANCEL = 0x05;
constexpr UINT MB_TYPEMASK = 0x0F;
constexpr UINT MB_ICONERROR = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONWARNING = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_ICONMASK = 0xF0;
// The second button (No, Cancel) is the default one.
constexpr UINT MB_DEFBUTTON2 = 0x100;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

namespace platform {

using MessageBoxService = std::function<int(const std::string& text, const std::string& caption, UINT type)>;

// Installs the service; an empty one restores the default, which shows nothing, writes the box
// to stderr and answers the box's first button.
void SetMessageBoxService(MessageBoxService service);

// The application's title: the caption of a box that names none.
inline constexpr const char* kAppTitle = "Tonrig";

} // namespace platform

// Callable from any thread; blocks until the box is answered.
int MessageBox(const std::string& text, const std::string& caption = platform::kAppTitle, UINT type = MB_OK);
