// The name.txt that the program writes beside name.html, for the bench tools
// that write where it would.
#pragma once

#include <string>

inline std::string TextPathFor(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  return (dot == std::string::npos ? path : path.substr(0, dot)) + ".txt";
}
