// The window definition: frame, controls, their positions and initial contents. Every text is
// GBK, compared byte for byte; the comment beside each constant shows it.
#pragma once

#include <array>
#include <string_view>

namespace velarn::window {

inline constexpr std::string_view kTitle = "Velarn\xD4\xDA\xCF\xDF\xC0\xCA\xB6\xC1 by orvik";  // Velarn在线朗读 by orvik
inline constexpr int kOuterWidth = 407;
inline constexpr int kOuterHeight = 252;

inline constexpr std::string_view kCaptionPlay = "\xB2\xA5 \xB7\xC5";  // 播 放
inline constexpr std::string_view kCaptionStop = "\xCD\xA3 \xD6\xB9";  // 停 止
inline constexpr std::string_view kTextBoxInitial =
    "[\xB8\xB4\xD6\xC6\xCE\xC4\xB1\xBE\xBF\xAA\xCA\xBC\xC0\xCA\xB6\xC1]";  // [复制文本开始朗读]
inline constexpr std::string_view kSpeedInitial = "99";
inline constexpr std::string_view kSpeedLabel = "\xD3\xEF\xCB\xD9\xA3\xBA";        // 语速：
inline constexpr std::string_view kBrowseCaption = "\xE4\xAF \xC0\xC0";            // 浏 览
inline constexpr std::string_view kVoiceLabel = "\xB7\xA2\xD2\xF4\xC8\xCB\xA3\xBA";  // 发音人：
inline constexpr std::string_view kSaveCaption = "\xB1\xA3\xB4\xE6\xD3\xEF\xD2\xF4";  // 保存语音
// 保存中: SaveButton's caption while a save run converts, followed by " 37%".
inline constexpr std::string_view kSavingCaption = "\xB1\xA3\xB4\xE6\xD6\xD0";

// VoiceList rows in the definition's order: 一萍, 小媛, 彬哥, 楠楠.
inline constexpr std::array<std::string_view, 4> kVoiceRows = {
    "\xD2\xBB\xC6\xBC", "\xD0\xA1\xE6\xC2", "\xB1\xF2\xB8\xE7", "\xE9\xAA\xE9\xAA"};

// FileDialog's initial filter: 文本文件（*.txt）|*.txt
inline constexpr std::string_view kTextFileFilter =
    "\xCE\xC4\xB1\xBE\xCE\xC4\xBC\xFE\xA3\xA8*.txt\xA3\xA9|*.txt";

// Control geometry in the client area: left, top, width, height.
struct Geometry {
  int left, top, width, height;
};
inline constexpr Geometry kSpeedBox{42, 192, 28, 20};
inline constexpr Geometry kSpeedLabelBox{6, 190, 48, 24};
inline constexpr Geometry kBrowseButton{184, 189, 58, 25};
inline constexpr Geometry kVoiceLabelBox{83, 190, 48, 24};
inline constexpr Geometry kVoiceList{131, 192, 45, 20};
inline constexpr int kVoiceListDroppedHeight = 160;
inline constexpr Geometry kPlayButton{335, 188, 61, 25};
inline constexpr Geometry kSaveButton{249, 189, 80, 25};
inline constexpr Geometry kTextBox{1, 1, 399, 183};

}  // namespace velarn::window
