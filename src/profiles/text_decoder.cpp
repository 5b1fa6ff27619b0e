#include "profiles/text_decoder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iconv.h>

namespace {

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

// Converts through iconv; unconvertible bytes are skipped. Empty optional-like result with
// `ok` false when the encoding is unknown.
std::string Convert(std::string_view bytes, const std::string& encoding, bool* ok)
{
    *ok = false;
    iconv_t cd = iconv_open("UTF-8", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    *ok = true;
    std::string out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            const std::size_t used = static_cast<std::size_t>(dst - out.data());
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
        } else {
            // An invalid or incomplete sequence: skip one byte and go on.
            ++in;
            --inLeft;
        }
    }
    iconv(cd, nullptr, nullptr, &dst, &outLeft);
    out.resize(static_cast<std::size_t>(dst - out.data()));
    iconv_close(cd);
    return out;
}

// The value of `attribute="…"` (or '…') after `from` in `text`, or empty.
std::string QuotedValueAfter(std::string_view text, std::size_t from, std::string_view attribute)
{
    const std::string lower = Lower(text);
    std::size_t at = lower.find(attribute, from);
    if (at == std::string::npos) return {};
    at += attribute.size();
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= text.size() || text[at] != '=') return {};
    ++at;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at >= text.size()) return {};
    const char quote = text[at];
    if (quote != '"' && quote != '\'') {
        std::size_t end = at;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != '>' &&
               text[end] != ';' && text[end] != '/')
            ++end;
        return std::string(text.substr(at, end - at));
    }
    const std::size_t end = text.find(quote, at + 1);
    if (end == std::string::npos) return {};
    return std::string(text.substr(at + 1, end - at - 1));
}

} // namespace

void AppendUtf8(std::string& out, std::uint32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string DeclaredEncoding(std::string_view head)
{
    const std::string lower = Lower(head);
    // <?xml version="1.0" encoding="…"?>
    const std::size_t declaration = lower.find("<?xml");
    if (declaration != std::string::npos) {
        const std::size_t end = lower.find("?>", declaration);
        const std::string_view tag = head.substr(declaration, end == std::string::npos ? std::string::npos : end - declaration);
        std::string value = QuotedValueAfter(tag, 0, "encoding");
        if (!value.empty()) return value;
    }
    // <meta charset="…"> or <meta http-equiv="Content-Type" content="text/html; charset=…">
    for (std::size_t meta = lower.find("<meta"); meta != std::string::npos; meta = lower.find("<meta", meta + 5)) {
        const std::size_t end = lower.find('>', meta);
        const std::string_view tag = head.substr(meta, end == std::string::npos ? std::string::npos : end - meta);
        std::string value = QuotedValueAfter(tag, 0, "charset");
        if (!value.empty()) return value;
        const std::string content = QuotedValueAfter(tag, 0, "content");
        const std::size_t charset = Lower(content).find("charset=");
        if (charset != std::string::npos) {
            std::string rest = content.substr(charset + 8);
            const std::size_t stop = rest.find_first_of("; \"'");
            return rest.substr(0, stop);
        }
    }
    return {};
}

DecodedText DecodeText(std::string_view bytes)
{
    DecodedText result;
    auto startsWith = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (startsWith("\xEF\xBB\xBF")) {
        result.hadBom = true;
        result.encoding = "UTF-8";
        result.text.assign(bytes.substr(3));
        return result;
    }
    if (startsWith("\xFF\xFE")) {
        result.hadBom = true;
        result.encoding = "UTF-16LE";
        result.text = DecodeUtf16(bytes.substr(2), false);
        return result;
    }
    if (startsWith("\xFE\xFF")) {
        result.hadBom = true;
        result.encoding = "UTF-16BE";
        result.text = DecodeUtf16(bytes.substr(2), true);
        return result;
    }

    std::string declared = DeclaredEncoding(bytes.substr(0, 1024));
    const std::string lower = Lower(declared);
    if (!declared.empty() && lower != "utf-8" && lower != "utf8") {
        bool ok = false;
        std::string converted;
        if (lower == "utf-16" || lower == "utf-16le")
            converted = DecodeUtf16(bytes, false), ok = true;
        else if (lower == "utf-16be")
            converted = DecodeUtf16(bytes, true), ok = true;
        else
            converted = Convert(bytes, declared, &ok);
        if (ok) {
            result.encoding = declared;
            result.text = std::move(converted);
            return result;
        }
    }
    // Declared UTF-8, starting with '<', or otherwise the system's own encoding, which is UTF-8.
    result.encoding = "UTF-8";
    result.text.assign(bytes);
    return result;
}
