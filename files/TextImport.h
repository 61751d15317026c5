// Opening text files: the encoding is told from the file's bytes alone. UTF-8 is converted to
// GBK, GBK is taken unchanged, UTF-16 is recognised and not loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/Text.h"

namespace velarn {

enum FileEncoding : std::int32_t {
  EncodingUtf8 = 1,
  EncodingUtf16Le = 2,
  EncodingUtf16Be = 3,
  EncodingAnsi = 4,  // GBK
};

// The whole file, or the empty byte string when it cannot be read (or is empty).
ByteString ReadWholeFile(const std::string& path);

// The encoding of a file's bytes: a byte-order mark first, then the UTF-16 test, then the
// UTF-8 test; GBK when none holds.
FileEncoding DetectEncoding(std::string_view data);
FileEncoding DetectFileEncoding(const std::string& path);

// Well-formed UTF-8 by the Unicode standard's table (no overlong forms, no surrogates, nothing
// above U+10FFFF, no cut-off sequence). ASCII alone passes; empty data fails.
bool LooksLikeUtf8(std::string_view data);

// Whether bytes without a byte-order mark are clearly UTF-16; the byte order it found, or
// nothing. Never takes 7-bit ASCII text (such as "Bush hid the facts") or GBK text for UTF-16.
std::optional<FileEncoding> LooksLikeUtf16(std::string_view data);

// UTF-8 to GBK, unmappable and malformed sequences becoming "?", up to the first zero byte. A
// byte-order mark is converted with the rest.
Text Utf8ToGbkText(std::string_view data);

// What opening `path` loads into TextBox: nothing for UTF-16.
std::optional<Text> LoadTextFile(const std::string& path);

}  // namespace velarn
