#include "ui/qt/QtText.h"

#include <iconv.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace velarn {
namespace {

constexpr char16_t kNoCharacter = 0xFFFF;  // a noncharacter: no GBK code maps to it
constexpr std::uint16_t kNoCode = 0xFFFF;  // FF FF is no GBK code
constexpr char16_t kReplacement = 0xFFFD;

struct GbkTables {
  std::array<char16_t, 256> single{};  // a byte that is a character on its own
  std::array<bool, 256> lead{};        // a byte that needs a second one
  std::array<char16_t, 65536> pair{};  // lead << 8 | trail
  // The GBK code of each UTF-16 unit: below 0x100 one byte, else two.
  std::array<std::uint16_t, 65536> code{};
};

using IconvHandle = std::unique_ptr<std::remove_pointer_t<iconv_t>, decltype(&iconv_close)>;

IconvHandle OpenIconv(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  return {cd, &iconv_close};
}

// Converts `in` whole; false (and the state reset) when iconv stops anywhere.
bool ConvertWhole(iconv_t cd, const char* in, std::size_t in_size, char* out,
                  std::size_t& out_size) {
  char* src = const_cast<char*>(in);
  std::size_t src_left = in_size;
  char* dst = out;
  std::size_t dst_left = out_size;
  const std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out_size = out_size - dst_left;
  return rc != static_cast<std::size_t>(-1) && src_left == 0;
}

// What a single byte is to iconv's GBK decoder: a character, the start of one, or neither.
GbkTables BuildTables() {
  GbkTables t;
  t.single.fill(kNoCharacter);
  t.pair.fill(kNoCharacter);
  t.code.fill(kNoCode);
  const IconvHandle decode = OpenIconv("UTF-16LE", "GBK");
  const IconvHandle encode = OpenIconv("GBK", "UTF-16LE");
  char out[8];
  for (int b = 0; b < 256; ++b) {
    const char in[1] = {static_cast<char>(b)};
    char* src = const_cast<char*>(in);
    std::size_t src_left = 1;
    char* dst = out;
    std::size_t dst_left = sizeof out;
    const std::size_t rc = iconv(decode.get(), &src, &src_left, &dst, &dst_left);
    const int e = errno;
    iconv(decode.get(), nullptr, nullptr, nullptr, nullptr);
    if (rc != static_cast<std::size_t>(-1) && sizeof out - dst_left == 2) {
      t.single[static_cast<std::size_t>(b)] = static_cast<char16_t>(
          static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
    } else if (rc == static_cast<std::size_t>(-1) && e == EINVAL) {
      t.lead[static_cast<std::size_t>(b)] = true;
    }
  }
  for (int b = 0; b < 256; ++b) {
    if (!t.lead[static_cast<std::size_t>(b)]) continue;
    for (int trail = 0; trail < 256; ++trail) {
      const char in[2] = {static_cast<char>(b), static_cast<char>(trail)};
      std::size_t size = sizeof out;
      if (ConvertWhole(decode.get(), in, 2, out, size) && size == 2) {
        t.pair[static_cast<std::size_t>(b << 8 | trail)] = static_cast<char16_t>(
            static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
      }
    }
  }
  for (int unit = 0; unit < 65536; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // surrogates hold no GBK character
    const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    std::size_t size = sizeof out;
    if (!ConvertWhole(encode.get(), in, 2, out, size)) continue;
    if (size == 1) {
      t.code[static_cast<std::size_t>(unit)] = static_cast<unsigned char>(out[0]);
    } else if (size == 2) {
      t.code[static_cast<std::size_t>(unit)] = static_cast<std::uint16_t>(
          static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]));
    }
  }
  return t;
}

const GbkTables& Tables() {
  static const std::unique_ptr<const GbkTables> tables =
      std::make_unique<const GbkTables>(BuildTables());
  return *tables;
}

// Calls `put` with each UTF-16 unit that GBK `gbk` decodes to, as GbkToUtf8 would decode it:
// an invalid byte is one U+FFFD, and so is a lead byte cut off by the end.
template <typename Put>
void DecodeGbk(std::string_view gbk, Put put) {
  const GbkTables& t = Tables();
  const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
  const std::size_t n = gbk.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned char b = bytes[i];
    if (t.single[b] != kNoCharacter) {
      put(t.single[b]);
      ++i;
    } else if (t.lead[b] && i + 1 < n &&
               t.pair[static_cast<std::size_t>(b) << 8 | bytes[i + 1]] != kNoCharacter) {
      put(t.pair[static_cast<std::size_t>(b) << 8 | bytes[i + 1]]);
      i += 2;
    } else if (t.lead[b] && i + 1 == n) {
      put(kReplacement);
      return;
    } else {
      put(kReplacement);
      ++i;
    }
  }
}

}  // namespace

QString ToQString(std::string_view gbk) {
  QString out;
  out.resize(static_cast<qsizetype>(gbk.size()));  // never more units than bytes
  char16_t* data = reinterpret_cast<char16_t*>(out.data());
  qsizetype size = 0;
  DecodeGbk(gbk, [&](char16_t unit) { data[size++] = unit; });
  out.truncate(size);
  return out;
}

qsizetype TextBoxLength(std::string_view gbk, bool after_cr) {
  qsizetype size = 0;
  char16_t last = after_cr ? u'\r' : u'\0';
  DecodeGbk(gbk, [&](char16_t unit) {
    if (unit != u'\n' || last != u'\r') ++size;
    last = unit;
  });
  return size;
}

Text FromQString(const QString& text) {
  const GbkTables& t = Tables();
  Text out;
  out.resize(static_cast<std::size_t>(text.size()) * 2);
  std::size_t size = 0;
  const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
  const auto n = static_cast<std::size_t>(text.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      ++i;  // a character beyond the BMP: GBK has none of them
      out[size++] = '?';
      continue;
    }
    const std::uint16_t code = t.code[unit];
    if (code == kNoCode) {
      out[size++] = '?';
    } else if (code < 0x100) {
      out[size++] = static_cast<char>(code);
    } else {
      out[size++] = static_cast<char>(code >> 8);
      out[size++] = static_cast<char>(code & 0xFF);
    }
  }
  out.resize(size);
  return out;
}

}  // namespace velarn
