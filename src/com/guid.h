#pragma once
// 128-bit identifiers of classes, interfaces, media types and formats, in the published
// layout (a 32-bit, two 16-bit and eight 8-bit fields) and the braced text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4 = {};

    // Interface lookups compare GUIDs on every call: keep equality to a few word compares.
    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        using Words = std::array<std::uint64_t, 2>;
        const auto x = std::bit_cast<Words>(a);
        const auto y = std::bit_cast<Words>(b);
        return x[0] == y[0] && x[1] == y[1];
    }
    friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};
static_assert(sizeof(GUID) == 16, "GUID must keep its published 16-byte layout");

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{};

namespace guid_detail {
constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace guid_detail

// Parses the braced form; the braces are optional, case is ignored. Returns nothing when the
// text is not a GUID.
constexpr std::optional<GUID> ParseGuid(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return std::nullopt;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;

    // Reads `count` hex digits starting at `pos`.
    auto read = [&](std::size_t pos, std::size_t count, std::uint64_t& out) {
        out = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const int d = guid_detail::HexDigit(text[pos + i]);
            if (d < 0) return false;
            out = (out << 4) | static_cast<std::uint64_t>(d);
        }
        return true;
    };
    GUID g;
    std::uint64_t v = 0;
    if (!read(0, 8, v)) return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!read(9, 4, v)) return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!read(14, 4, v)) return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    constexpr std::size_t bytePos[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i) {
        if (!read(bytePos[i], 2, v)) return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

// A GUID from a literal known at compile time; a malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text)
{
    const auto g = ParseGuid(text);
    if (!g) throw "malformed GUID literal";
    return *g;
}

// Braced upper-case text form.
std::string GuidToString(const GUID& g);

// A GUID whose first 32 bits carry a four-character code and whose rest is the media-subtype
// base {xxxxxxxx-0000-0010-8000-00AA00389B71}.
constexpr GUID FourCCGuid(std::uint32_t fourcc)
{
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// Four-character code as a little-endian 32-bit value ('Y','V','1','2' → 0x32315659).
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept
    {
        std::uint64_t h = g.Data1 ^ (std::uint64_t(g.Data2) << 32) ^ (std::uint64_t(g.Data3) << 48);
        for (auto b : g.Data4) h = h * 1099511628211ull ^ b;
        return static_cast<std::size_t>(h);
    }
};
