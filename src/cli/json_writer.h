#pragma once
// A small streaming JSON writer for the command-line tool's machine-readable output.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The key of the next value inside an object.
    void Key(std::string_view key);
    void String(std::string_view value);
    void Int(std::int64_t value);
    void Bool(bool value);
    void Null();
    void Double(double value);

    const std::string& Text() const { return m_text; }

private:
    void BeforeValue();

    std::string m_text;
    std::vector<bool> m_first; // per open container: no element written yet
    bool m_afterKey = false;
};

// Escapes a text for a JSON string (quotes included).
std::string JsonQuote(std::string_view text);
