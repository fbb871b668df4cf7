// The texts the user sees, shared by both front ends.
//
// Each is a fixed byte string in Shift-JIS (code page 932), written as escapes
// so that no source or execution charset of a compiler can alter it; the
// comment above each gives the text. Every message but the unknown-error one
// ends in the full-width colon 81 46, after which the path follows.
#pragma once

namespace kelvane {

// The code page every text here is written in: Shift-JIS, as Windows has it.
inline constexpr unsigned kShiftJisCodePage = 932;

// HTMLファイルではありません： (not an HTML file)
inline constexpr char kNotHtmlMessage[] =
    "HTML\x83t\x83@"
    "\x83\x43\x83\x8B\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x46";

// ファイルが開けません： (the file cannot be opened)
inline constexpr char kCannotOpenMessage[] =
    "\x83t\x83@\x83\x43\x83\x8B\x82\xAA\x8AJ\x82\xAF\x82\xDC\x82\xB9\x82\xF1\x81\x46";

// 無効なファイルサイズです： (invalid file size)
inline constexpr char kInvalidSizeMessage[] =
    "\x96\xB3\x8C\xF8\x82\xC8\x83t\x83@\x83\x43\x83\x8B\x83T\x83\x43\x83Y\x82\xC5\x82\xB7\x81\x46";

// メモリの確保に失敗しました： (memory allocation failed)
inline constexpr char kOutOfMemoryMessage[] =
    "\x83\x81\x83\x82\x83\x8A\x82\xCC\x8Am\x95\xDB\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82"
    "\xBD\x81\x46";

// 文字コードの変換に失敗しました： (character code conversion failed)
inline constexpr char kConversionFailedMessage[] =
    "\x95\xB6\x8E\x9A\x83R\x81["
    "\x83h\x82\xCC\x95\xCF\x8A\xB7\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x46";

// HTML→テキスト変換に失敗しました： (HTML-to-text conversion failed)
inline constexpr char kHtmlToTextFailedMessage[] =
    "HTML\x81\xA8\x83\x65\x83L\x83X\x83g\x95\xCF\x8A\xB7\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82"
    "\xB5\x82\xBD\x81\x46";

// ファイルの作成に失敗しました： (creating the file failed)
inline constexpr char kCreateFailedMessage[] =
    "\x83t\x83@"
    "\x83\x43\x83\x8B\x82\xCC\x8D\xEC\x90\xAC\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD"
    "\x81\x46";

// 不明のエラー (unknown error)
inline constexpr char kUnknownErrorMessage[] = "\x95s\x96\xBE\x82\xCC\x83G\x83\x89\x81[";

// ここにHTMLファイルをドラッグ＆ドロップ (drag and drop HTML files here)
inline constexpr char kDropPrompt[] =
    "\x82\xB1\x82\xB1\x82\xC9HTML\x83t\x83@"
    "\x83\x43\x83\x8B\x82\xF0\x83h\x83\x89\x83\x62\x83O\x81\x95\x83h\x83\x8D\x83\x62\x83v";

// The caption of every warning and the title of the drop window.
inline constexpr char kProgramCaption[] = "kelvane";

// The drop window's class name.
inline constexpr char kWindowClassName[] = "KELVANE";

}  // namespace kelvane
