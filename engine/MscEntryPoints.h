// The six entry points of the engine library as the program calls them (C linkage, 32-bit
// integers). Only their types are used: the program reaches them through BindEntryPoint.
#pragma once

extern "C" {
int QTTSInit(const char* configs);
const char* QTTSSessionBegin(const char* params, int* errorCode);
int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen, const char* params);
const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus, int* errorCode);
int QTTSSessionEnd(const char* sessionID, const char* hints);
int QTTSFini(void);
}

// The engine's cache directory in the current directory, shared with the engine component.
#ifndef MSC_ENGINE_CACHE_DIR
#define MSC_ENGINE_CACHE_DIR "3f9c2a7be1d04c58a6e2b71d94f0c3e6"
#endif
