// The user-visible texts: each Shift-JIS byte string read back through the
// project's cp932 table must give exactly the Japanese text the user is meant
// to see, written here in UTF-8.

#include "app/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

// Shift-JIS -> UTF-8 through the table; "<bad>" marks an undefined code.
std::string ToUtf8(const char* text) {
  std::string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    uint16_t code = *p++;
    if (IsCp932LeadByte(static_cast<uint8_t>(code))) code = static_cast<uint16_t>(code << 8 | *p++);
    uint16_t u = Cp932ToUnicode(code);
    if (u == 0) return out + "<bad>";
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | u >> 12);
      out += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

struct TextCase {
  const char* name;
  const char* shift_jis;
  const char* utf8;
};

const TextCase kTexts[] = {
    {"NotHtml", kNotHtmlMessage, "HTMLファイルではありません："},
    {"CannotOpen", kCannotOpenMessage, "ファイルが開けません："},
    {"InvalidSize", kInvalidSizeMessage, "無効なファイルサイズです："},
    {"OutOfMemory", kOutOfMemoryMessage, "メモリの確保に失敗しました："},
    {"ConversionFailed", kConversionFailedMessage, "文字コードの変換に失敗しました："},
    {"HtmlToTextFailed", kHtmlToTextFailedMessage, "HTML→テキスト変換に失敗しました："},
    {"CreateFailed", kCreateFailedMessage, "ファイルの作成に失敗しました："},
    {"UnknownError", kUnknownErrorMessage, "不明のエラー"},
    {"DropPrompt", kDropPrompt, "ここにHTMLファイルをドラッグ＆ドロップ"},
    {"Caption", kProgramCaption, "kelvane"},
    {"ClassName", kWindowClassName, "KELVANE"},
};

TEST(Messages, ShiftJisBytesReadAsTheIntendedText) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToUtf8(c.shift_jis), c.utf8);
  }
}

// Each failure message ends in the full-width colon 81 46 before the path, and
// the longest is 34 bytes.
TEST(Messages, FailureMessagesEndInAFullWidthColon) {
  for (const TextCase& c : kTexts) {
    if (c.shift_jis == kUnknownErrorMessage || c.shift_jis == kDropPrompt ||
        c.shift_jis == kProgramCaption || c.shift_jis == kWindowClassName) {
      continue;
    }
    SCOPED_TRACE(c.name);
    std::size_t n = std::strlen(c.shift_jis);
    ASSERT_GE(n, 2u);
    EXPECT_LE(n, 34u);
    EXPECT_EQ(std::string(c.shift_jis + n - 2), "\x81\x46");
  }
}

}  // namespace
}  // namespace kelvane
