#include "operations/OperationState.h"

int g_nOperationState = kStateIdle;
std::atomic<int> g_bCancelOperation { 1 };
