#pragma once
// The model of the connected programmer. The GUI thread writes it when the programmer is
// identified; workers (device setup, data pump) read it to pick packet layouts and limits.

#include <atomic>

constexpr int kModelZvA = 2;
constexpr int kModelZvB = 4;
constexpr int kModelZvC = 5;
constexpr int kModelZvCQ = 7;
constexpr int kModelZvD = 8;

// kModelZvC until a programmer has answered.
extern std::atomic<int> g_nProgrammerModel;
