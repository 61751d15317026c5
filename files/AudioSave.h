// The end of a save run: ask for a file name and write all the audio of the text as one clip.
#pragma once

#include <string>
#include <string_view>

#include "files/SaveAudio.h"
#include "text/Text.h"

namespace velarn {

struct ReaderContext;

// 音频文件（*.mp3）|*.mp3
inline constexpr std::string_view kAudioFileFilter =
    "\xD2\xF4\xC6\xB5\xCE\xC4\xBC\xFE\xA3\xA8*.mp3\xA3\xA9|*.mp3";
inline constexpr std::string_view kAudioFileExtension = ".mp3";
// 语音太长，超出一个音频文件的容量，未保存
inline constexpr std::string_view kAudioTooLongMessage =
    "\xD3\xEF\xD2\xF4\xCC\xAB\xB3\xA4\xA3\xAC\xB3\xAC\xB3\xF6\xD2\xBB\xB8\xF6\xD2\xF4\xC6\xB5\xCE"
    "\xC4\xBC\xFE\xB5\xC4\xC8\xDD\xC1\xBF\xA3\xAC\xCE\xB4\xB1\xA3\xB4\xE6";
// 保存失败，音频文件未写入：, followed by the path
inline constexpr std::string_view kAudioWriteFailedMessage =
    "\xB1\xA3\xB4\xE6\xCA\xA7\xB0\xDC\xA3\xAC\xD2\xF4\xC6\xB5\xCE\xC4\xBC\xFE\xCE\xB4\xD0\xB4\xC8"
    "\xEB\xA3\xBA";

// Writes the clip header for `audio` followed by the audio to `path`: through a temporary
// file beside it that is renamed into place once complete, so that the chosen name never
// holds a half-written file. False, with nothing left behind, when that fails.
bool WriteClipFile(const std::string& path, const SaveAudio& audio);

// Run by the synthesis worker when a save run has sent its last chunk: save mode ends, the
// save dialog asks for a file name, and the clip of all the audio is written there. A
// cancelled dialog writes nothing, so no file chosen earlier is overwritten; audio too long
// for one file and a failed write are reported. AudioBuffer is emptied, SaveButton gets back
// its caption and PlayButton is enabled in every case. True when a file was written.
bool SaveAudioFile(ReaderContext& context, const SaveAudio& audio);

// Ends a save request without a file (an empty text): the same clean-up.
void EndSaveRequest(ReaderContext& context);

}  // namespace velarn
