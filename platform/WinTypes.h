#pragma once
// The integer types and message numbers the system's interfaces are written in.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_USER = 0x0400;
