#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

std::string JsonQuote(std::string_view text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
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
