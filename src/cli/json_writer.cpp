#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at `at` (1 to 4), or 0 when the bytes there are none
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF).
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

} // namespace

std::string JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        // Bytes that are no UTF-8 (a damaged disc's language or name fields) become U+FFFD: JSON
        // is UTF-8, and a reader refuses the whole document over one bad byte.
        const std::size_t length = Utf8Length(text, at);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        }
        ++at;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_first.empty()) {
        if (!m_first.back()) m_text += ", ";
        m_first.back() = false;
    }
}

void JsonWriter::BeginObject()
{
    BeforeValue();
    m_text += '{';
    m_first.push_back(true);
}

void JsonWriter::EndObject()
{
    m_text += '}';
    m_first.pop_back();
}

void JsonWriter::BeginArray()
{
    BeforeValue();
    m_text += '[';
    m_first.push_back(true);
}

void JsonWriter::EndArray()
{
    m_text += ']';
    m_first.pop_back();
}

void JsonWriter::Key(std::string_view key)
{
    BeforeValue();
    m_text += JsonQuote(key);
    m_text += ": ";
    m_afterKey = true;
}

void JsonWriter::String(std::string_view value)
{
    BeforeValue();
    m_text += JsonQuote(value);
}

void JsonWriter::Int(std::int64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
}

void JsonWriter::Bool(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
}

void JsonWriter::Null()
{
    BeforeValue();
    m_text += "null";
}

void JsonWriter::Double(double value)
{
    BeforeValue();
    if (!std::isfinite(value)) {
        m_text += "null";
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    m_text += text;
}
