// The element and entity name tables, built on first lookup and released at
// normal process exit.
#pragma once

#include <cstdint>

namespace kelvane {

constexpr int kEmptyElementBit = 0x1000;

// ElementId of an element name (ASCII case-insensitive), or 0.
int LookupElement(const char* name, int length);
// Code point of an entity name (case-sensitive), or 0.
int LookupEntity(const char* name, int length);

}  // namespace kelvane
