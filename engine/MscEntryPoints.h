// The six entry points of the engine library as the program calls them (C linkage, 32-bit
// integers), and the name of the engine's cache directory. Only the types are used: the
// program reaches the entry points through BindEntryPoint.
#pragma once

#if __has_include("speechengine/msc.h")
#include "speechengine/msc.h"
#else
// The engine component's header is not in this tree yet: the same prototypes.
extern "C" {
int QTTSInit(const char* configs);
const char* QTTSSessionBegin(const char* params, int* errorCode);
int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen, const char* params);
const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus, int* errorCode);
int QTTSSessionEnd(const char* sessionID, const char* hints);
int QTTSFini(void);
}
#define MSC_ENGINE_CACHE_DIR "3f9c2a7be1d04c58a6e2b71d94f0c3e6"
#endif
