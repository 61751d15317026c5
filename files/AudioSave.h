// The end of a save run: ask for a file name and write all the audio of the text as one clip.
#pragma once

#include <string>
#include <string_view>

#include "text/Text.h"

namespace velarn {

struct ReaderContext;

// 音频文件（*.mp3）|*.mp3
inline constexpr std::string_view kAudioFileFilter =
    "\xD2\xF4\xC6\xB5\xCE\xC4\xBC\xFE\xA3\xA8*.mp3\xA3\xA9|*.mp3";
inline constexpr std::string_view kAudioFileExtension = ".mp3";

// Writes the clip header for `audio` followed by `audio` to `path`, replacing the file;
// false when it could not be written completely.
bool WriteClipFile(const std::string& path, std::string_view audio);

// Run by the synthesis worker when a save run has sent its last chunk: save mode ends, the
// save dialog asks for a file name, and the clip of AudioBuffer is written there. A cancelled
// dialog writes nothing, so no file chosen earlier is overwritten. AudioBuffer is emptied and
// PlayButton enabled in every case. True when a file was written.
bool SaveAudioFile(ReaderContext& context);

}  // namespace velarn
