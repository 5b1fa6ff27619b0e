#pragma once
// The named character references of HTML 4 (and XML's &apos;), for attribute values.

#include <cstdint>
#include <string_view>

// The code point of a reference name ("amp", "eacute"), or 0 when the name is not one.
std::uint32_t LookupNamedReference(std::string_view name);
