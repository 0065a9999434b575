#include "operations/OperationState.h"

int g_nOperationState = kStateIdle;
int g_nCurrentClass = kNoDeviceClass;
