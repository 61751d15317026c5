// The six entry points of the engine library as the program calls them (C linkage, 32-bit
// integers), and the name of the engine's cache directory. Only the types are used: the
// program reaches the entry points through BindEntryPoint.
#pragma once

#include "speechengine/msc.h"
