// The element names that tags are looked up by, in ordinal order: an
// element's ElementId is its position in this list counted from 1, with
// kEmptyElementBit added for the 13 elements without content. The table
// builder and the converter's tag actions both take their ids from here.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace kelvane {

constexpr int kEmptyElementBit = 0x1000;

struct ElementName {
  const char* name;  // upper case
  bool empty;        // an element without content
};

// clang-format off
inline constexpr ElementName kElementNames[] = {
    {"A", false}, {"ABBR", false}, {"ACRONYM", false}, {"ADDRESS", false}, {"APPLET", false},
    {"AREA", true}, {"B", false}, {"BASE", true}, {"BASEFONT", true}, {"BDO", false},
    {"BLOCKQUOTE", false}, {"BIG", false}, {"BODY", false}, {"BR", true}, {"BUTTON", false},
    {"CAPTION", false}, {"CENTER", false}, {"CITE", false}, {"CODE", false}, {"COL", true},
    {"COLGROUP", false}, {"DD", false}, {"DEL", false}, {"DFN", false}, {"DIR", false},
    {"DIV", false}, {"DL", false}, {"DT", false}, {"EM", false}, {"FIELDSET", false},
    {"FONT", false}, {"FORM", false}, {"FRAME", true}, {"FRAMESET", false}, {"H1", false},
    {"H2", false}, {"H3", false}, {"H4", false}, {"H5", false}, {"H6", false}, {"HR", true},
    {"HEAD", false}, {"HTML", false}, {"I", false}, {"IFRAME", false}, {"IMG", true},
    {"INPUT", true}, {"INS", false}, {"ISINDEX", true}, {"KBD", false}, {"LABEL", false},
    {"LEGEND", false}, {"LI", false}, {"LINK", true}, {"MAP", false}, {"MENU", false},
    {"META", true}, {"NOFRAMES", false}, {"NOSCRIPT", false}, {"OBJECT", false}, {"OL", false},
    {"OPTGROUP", false}, {"OPTION", false}, {"P", false}, {"PARAM", true}, {"PRE", false},
    {"Q", false}, {"S", false}, {"SAMP", false}, {"SCRIPT", false}, {"SELECT", false},
    {"SMALL", false}, {"SPAN", false}, {"STRIKE", false}, {"STRONG", false}, {"STYLE", false},
    {"SUB", false}, {"SUP", false}, {"TABLE", false}, {"TBODY", false}, {"TD", false},
    {"TEXTAREA", false}, {"TFOOT", false}, {"TH", false}, {"THEAD", false}, {"TITLE", false},
    {"TR", false}, {"TT", false}, {"U", false}, {"UL", false}, {"VAR", false},
};
// clang-format on

constexpr int kElementNameCount = static_cast<int>(std::size(kElementNames));

// The ElementId of the element at index in kElementNames.
constexpr int ElementIdAt(std::size_t index) {
  return static_cast<int>(index + 1) | (kElementNames[index].empty ? kEmptyElementBit : 0);
}

// The ElementId of an upper-case name in the list; a name not in it does not
// compile.
consteval int ElementIdOf(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kElementNames); ++i) {
    if (name == kElementNames[i].name) return ElementIdAt(i);
  }
  throw "not an element name";
}

}  // namespace kelvane
