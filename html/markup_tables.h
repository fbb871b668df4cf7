// The element and entity name tables, built on first lookup and released at
// normal process exit.
#pragma once

#include <cstdint>

#include "html/element_names.h"

namespace kelvane {

// ElementId of an element name (ASCII case-insensitive), or 0.
int LookupElement(const char* name, int length);
// Code point of an entity name (case-sensitive), or 0.
int LookupEntity(const char* name, int length);

}  // namespace kelvane
