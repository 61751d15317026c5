// The six C entry points of msc.dll over the one engine of this library.
#include "speechengine/msc.h"

#include <cstring>
#include <new>
#include <string_view>

#include "speechengine/Engine.h"

namespace {

using velarn::speechengine::Engine;

// Its address tells dladdr which file this library was loaded from.
const char kSelf = 0;

// The library's one engine: the C interface has no handle. Destroyed at dlclose (or exit),
// which stops the worker thread before the code it runs goes away.
Engine& TheEngine() {
  static Engine engine(velarn::speechengine::DirectoryOfObject(&kSelf));
  return engine;
}

std::string_view View(const char* text) { return std::string_view(text, std::strlen(text)); }

}  // namespace

extern "C" {

int QTTSInit(const char* configs) {
  if (configs == nullptr) return MSC_ERROR_NULL_ARGUMENT;
  try {
    return TheEngine().Init(View(configs));
  } catch (const std::bad_alloc&) {
    return MSC_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return MSC_ERROR_SPEECH_UNAVAILABLE;
  }
}

const char* QTTSSessionBegin(const char* params, int* errorCode) {
  std::int32_t error = MSC_ERROR_NULL_ARGUMENT;
  const char* id = nullptr;
  if (params != nullptr) {
    try {
      id = TheEngine().SessionBegin(View(params), error);
    } catch (...) {
      error = MSC_ERROR_OUT_OF_MEMORY;
      id = nullptr;
    }
  }
  if (errorCode != nullptr) *errorCode = error;
  return id;
}

int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen,
                const char* params) {
  (void)params;
  if (sessionID == nullptr || (textString == nullptr && textLen != 0))
    return MSC_ERROR_NULL_ARGUMENT;
  try {
    const std::string_view text =
        textString == nullptr ? std::string_view() : std::string_view(textString, textLen);
    return TheEngine().TextPut(View(sessionID), text);
  } catch (...) {
    return MSC_ERROR_OUT_OF_MEMORY;
  }
}

const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus,
                         int* errorCode) {
  velarn::speechengine::AudioPiece piece{nullptr, 0, MSC_TTS_STATUS_COMPLETE,
                                         MSC_ERROR_NULL_ARGUMENT};
  if (sessionID != nullptr && audioLen != nullptr && synthStatus != nullptr &&
      errorCode != nullptr) {
    try {
      piece = TheEngine().AudioGet(View(sessionID));
    } catch (...) {
      piece = {nullptr, 0, MSC_TTS_STATUS_COMPLETE, MSC_ERROR_OUT_OF_MEMORY};
    }
  }
  if (audioLen != nullptr) *audioLen = piece.length;
  if (synthStatus != nullptr) *synthStatus = piece.status;
  if (errorCode != nullptr) *errorCode = piece.error;
  return piece.data;
}

int QTTSSessionEnd(const char* sessionID, const char* hints) {
  (void)hints;
  if (sessionID == nullptr) return MSC_ERROR_NULL_ARGUMENT;
  try {
    return TheEngine().SessionEnd(View(sessionID));
  } catch (...) {
    return MSC_ERROR_OUT_OF_MEMORY;
  }
}

int QTTSFini(void) { return TheEngine().Fini(); }

}  // extern "C"
