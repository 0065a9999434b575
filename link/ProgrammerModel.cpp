#include "link/ProgrammerModel.h"

std::atomic<int> g_nProgrammerModel { kModelZvC };
