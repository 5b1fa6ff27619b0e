#pragma once
// Turns the bytes of a text file into UTF-8: a byte-order mark decides (UTF-8, UTF-16LE,
// UTF-16BE); otherwise a declared encoding (the XML declaration's, or an HTML meta charset) is
// converted through iconv; a file starting with '<' and declaring nothing is UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

struct DecodedText {
    std::string text;      // UTF-8
    bool hadBom = false;
    std::string encoding;  // what the bytes were read as ("UTF-8", "UTF-16LE", "ISO-8859-1", …)
};

DecodedText DecodeText(std::string_view bytes);

// The encoding an XML declaration or an HTML meta declaration names in `head`, or empty.
std::string DeclaredEncoding(std::string_view head);

// Appends the UTF-8 form of a code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, std::uint32_t codePoint);
