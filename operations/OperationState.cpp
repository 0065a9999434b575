#include "operations/OperationState.h"

int g_nOperationState = kStateIdle;
