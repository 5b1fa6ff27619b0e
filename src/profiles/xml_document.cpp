#include "profiles/xml_document.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "profiles/html_entities.h"
#include "profiles/text_decoder.h"

namespace {

constexpr std::size_t kMaxFileBytes = 256u << 20;

bool IsNameStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsNameStart(c) || std::isdigit(c) || c == '-' || c == '.'; }
bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

std::string DecodeReferences(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    std::size_t i = 0;
    while (i < value.size()) {
        if (value[i] != '&') {
            out += value[i++];
            continue;
        }
        const std::size_t semicolon = value.find(';', i + 1);
        if (semicolon == std::string_view::npos || semicolon - i > 40) {
            out += value[i++];
            continue;
        }
        const std::string_view body = value.substr(i + 1, semicolon - i - 1);
        std::uint32_t code = 0;
        if (body.size() >= 2 && body[0] == '#') {
            const bool hex = body[1] == 'x' || body[1] == 'X';
            const std::string_view digits = body.substr(hex ? 2 : 1);
            bool valid = !digits.empty();
            std::uint64_t n = 0;
            for (char c : digits) {
                int d = -1;
                if (c >= '0' && c <= '9') d = c - '0';
                else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                if (d < 0) {
                    valid = false;
                    break;
                }
                n = n * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
                if (n > 0x10FFFF) {
                    valid = false;
                    break;
                }
            }
            if (valid && n != 0 && !(n >= 0xD800 && n <= 0xDFFF)) code = static_cast<std::uint32_t>(n);
        } else {
            code = LookupNamedReference(body);
        }
        if (code == 0) {
            out += value[i++]; // not a reference we know: keep it as written
            continue;
        }
        AppendUtf8(out, code);
        i = semicolon + 1;
    }
    return out;
}

void XmlDocument::AddFinding(std::string_view name)
{
    if (!HasFinding(name)) m_findings.emplace_back(name);
}

bool XmlDocument::HasFinding(std::string_view name) const
{
    return std::find(m_findings.begin(), m_findings.end(), name) != m_findings.end();
}

std::string XmlDocument::ResultText() const
{
    std::string text;
    for (const auto& finding : m_findings) {
        if (!text.empty()) text += ", ";
        text += finding;
    }
    return text;
}

bool XmlDocument::LoadFile(const std::string& path)
{
    m_findings.clear();
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        m_text.clear();
        m_elements.assign(1, ElementPosition{});
        m_root = m_parent = m_main = m_child = 0;
        AddFinding("file_error");
        return false;
    }
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
        if (bytes.size() > kMaxFileBytes) {
            AddFinding("file_error");
            return false;
        }
    }
    if (std::ferror(file.get())) {
        AddFinding("file_error");
        return false;
    }
    return LoadBytes(bytes);
}

bool XmlDocument::LoadBytes(std::string_view bytes)
{
    m_findings.clear();
    DecodedText decoded = DecodeText(bytes);
    if (decoded.hadBom) AddFinding("bom");
    m_text = std::move(decoded.text);
    return Parse();
}

void XmlDocument::MarkIllFormed(std::string_view finding)
{
    m_elements[0].flags |= kIllFormed;
    AddFinding(finding);
}

void XmlDocument::CloseUnended(int element, std::size_t end)
{
    auto& e = m_elements[static_cast<std::size_t>(element)];
    e.flags |= kNotEnded;
    e.length = end - e.start;
    MarkIllFormed("unended_start_tag");
}

std::size_t XmlDocument::SkipMarkup(std::size_t lt) const
{
    const std::string& text = m_text;
    const std::size_t n = text.size();
    const std::string_view rest(text.data() + lt, n - lt);
    auto skipTo = [&](std::string_view terminator) {
        const std::size_t end = text.find(terminator, lt);
        return end == std::string::npos ? n : end + terminator.size();
    };
    if (rest.starts_with("<!--")) return skipTo("-->");
    if (rest.starts_with("<![CDATA[")) return skipTo("]]>");
    if (rest.starts_with("<?")) return skipTo("?>");
    // A declaration, perhaps with an internal subset in brackets.
    std::size_t i = lt + 2;
    int brackets = 0;
    while (i < n && (text[i] != '>' || brackets > 0)) {
        if (text[i] == '[') ++brackets;
        if (text[i] == ']' && brackets > 0) --brackets;
        ++i;
    }
    return i < n ? i + 1 : n;
}

std::size_t XmlDocument::NameEnd(std::size_t nameStart) const
{
    std::size_t i = nameStart;
    while (i < m_text.size() && IsNameChar(static_cast<unsigned char>(m_text[i]))) ++i;
    return i;
}

std::size_t XmlDocument::ParseEndTag(std::size_t lt, ParseState& state)
{
    const std::string& text = m_text;
    const std::size_t n = text.size();
    const std::size_t nameStart = lt + 2;
    const std::size_t nameEnd = NameEnd(nameStart);
    const std::string_view name(text.data() + nameStart, nameEnd - nameStart);
    const std::size_t gt = text.find('>', nameEnd);
    if (gt == std::string::npos) return n; // the file ends inside an end tag: nothing closes
    const std::size_t end = gt + 1;
    // Walk up to the nearest open element of that name.
    auto& open = state.open;
    auto match = std::find_if(open.rbegin(), open.rend(), [&](int e) { return NameOf(e) == name; });
    if (match == open.rend()) {
        m_elements[0].flags |= kLoneEndTag;
        MarkIllFormed("lone_end_tag");
        return end;
    }
    const int matched = *match;
    while (open.back() != matched) {
        CloseUnended(open.back(), lt);
        open.pop_back();
    }
    auto& element = m_elements[static_cast<std::size_t>(matched)];
    element.length = end - element.start;
    open.pop_back();
    return end;
}

std::size_t XmlDocument::ParseStartTag(std::size_t lt, ParseState& state)
{
    const std::string& text = m_text;
    const std::size_t n = text.size();
    const std::size_t nameStart = lt + 1;
    std::size_t i = NameEnd(nameStart);
    const std::size_t nameLength = i - nameStart;
    // The start tag ends at the first '>' outside quotes.
    char quote = 0;
    while (i < n && (quote || text[i] != '>')) {
        if (quote) {
            if (text[i] == quote) quote = 0;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        }
        ++i;
    }
    if (i >= n) {
        // The file ends inside a start tag.
        for (auto it = state.open.rbegin(); it != state.open.rend(); ++it) CloseUnended(*it, n);
        state.open.clear();
        MarkIllFormed("unended_start_tag");
        return n;
    }
    const bool empty = text[i - 1] == '/';
    ElementPosition element;
    element.start = lt;
    element.startTagLength = i + 1 - lt;
    element.length = element.startTagLength;
    element.nameStart = nameStart;
    element.nameLength = nameLength;
    element.flags = empty ? kEmptyElement : 0;
    AddElement(element, state);
    if (!empty) state.open.push_back(static_cast<int>(m_elements.size()) - 1);
    return i + 1;
}

void XmlDocument::AddElement(const ElementPosition& tag, ParseState& state)
{
    const int parent = state.open.empty() ? 0 : state.open.back();
    const int index = static_cast<int>(m_elements.size());
    ElementPosition element = tag;
    element.parent = parent;
    element.level = static_cast<int>(state.open.size()) + 1;
    const int previous = state.lastChild[static_cast<std::size_t>(parent)];
    element.previousSibling = previous;
    m_elements.push_back(element);
    state.lastChild.push_back(0);
    if (previous)
        m_elements[static_cast<std::size_t>(previous)].nextSibling = index;
    else
        m_elements[static_cast<std::size_t>(parent)].firstChild = index;
    state.lastChild[static_cast<std::size_t>(parent)] = index;
    if (parent == 0) {
        if (m_root == 0)
            m_root = index;
        else
            AddFinding("root_has_sibling");
    }
}

bool XmlDocument::Parse()
{
    m_elements.clear();
    m_elements.reserve(m_text.size() / 64 + 8);
    m_elements.emplace_back(); // the document
    m_root = m_parent = m_main = m_child = 0;
    ParseState state;
    state.lastChild.assign(1, 0);
    const std::size_t n = m_text.size();
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t lt = m_text.find('<', pos);
        if (lt == std::string::npos) break;
        const char next = lt + 1 < n ? m_text[lt + 1] : '\0';
        if (next == '!' || next == '?')
            pos = SkipMarkup(lt);
        else if (next == '/')
            pos = ParseEndTag(lt, state);
        else if (IsNameStart(static_cast<unsigned char>(next)))
            pos = ParseStartTag(lt, state);
        else
            pos = lt + 1; // a '<' in text
    }
    for (auto it = state.open.rbegin(); it != state.open.rend(); ++it) CloseUnended(*it, n);
    if (m_root == 0) AddFinding("no_root_element");
    const bool hasSibling = m_root != 0 && m_elements[static_cast<std::size_t>(m_root)].nextSibling != 0;
    return m_root != 0 && !hasSibling && !(m_elements[0].flags & kIllFormed);
}

std::string_view XmlDocument::NameOf(int element) const
{
    if (element <= 0 || element >= static_cast<int>(m_elements.size())) return {};
    const auto& e = m_elements[static_cast<std::size_t>(element)];
    return std::string_view(m_text.data() + e.nameStart, e.nameLength);
}

std::string_view XmlDocument::MainName() const { return NameOf(m_main); }

int XmlDocument::FirstElementUnder(int parent) const
{
    if (parent < 0 || parent >= static_cast<int>(m_elements.size())) return 0;
    return m_elements[static_cast<std::size_t>(parent)].firstChild;
}

void XmlDocument::ResetMainPosition()
{
    m_main = 0;
    m_child = 0;
}

bool XmlDocument::FindChildElement(std::string_view name)
{
    if (m_main == 0) {
        m_main = FirstElementUnder(m_parent);
        m_child = 0;
    }
    if (m_main == 0) return false;
    const auto& mainElement = m_elements[static_cast<std::size_t>(m_main)];
    int candidate = m_child ? m_elements[static_cast<std::size_t>(m_child)].nextSibling : mainElement.firstChild;
    for (; candidate; candidate = m_elements[static_cast<std::size_t>(candidate)].nextSibling) {
        if (NameOf(candidate) == name) {
            m_child = candidate;
            return true;
        }
    }
    return false;
}

bool XmlDocument::EnterElement()
{
    if (m_main == 0) return false;
    m_parent = m_main;
    m_main = m_child;
    m_child = 0;
    return true;
}

bool XmlDocument::LeaveElement()
{
    if (m_parent == 0) return false;
    m_child = m_main;
    m_main = m_parent;
    m_parent = m_elements[static_cast<std::size_t>(m_parent)].parent;
    return true;
}

std::string XmlDocument::GetAttribute(std::string_view name) const
{
    if (m_main <= 0 || m_main >= static_cast<int>(m_elements.size())) return {};
    const auto& e = m_elements[static_cast<std::size_t>(m_main)];
    const std::string_view tag(m_text.data() + e.start, e.startTagLength);
    std::size_t i = 1 + e.nameLength;
    const std::size_t end = tag.size() - 1; // the closing '>'
    while (i < end) {
        while (i < end && (IsSpace(static_cast<unsigned char>(tag[i])) || tag[i] == '/')) ++i;
        const std::size_t attrStart = i;
        while (i < end && !IsSpace(static_cast<unsigned char>(tag[i])) && tag[i] != '=' && tag[i] != '/') ++i;
        const std::string_view attrName = tag.substr(attrStart, i - attrStart);
        while (i < end && IsSpace(static_cast<unsigned char>(tag[i]))) ++i;
        if (i >= end || tag[i] != '=') {
            if (attrName.empty()) ++i;
            continue; // an attribute without value
        }
        ++i;
        while (i < end && IsSpace(static_cast<unsigned char>(tag[i]))) ++i;
        std::string_view value;
        if (i < end && (tag[i] == '"' || tag[i] == '\'')) {
            const char quote = tag[i];
            const std::size_t close = tag.find(quote, i + 1);
            const std::size_t stop = close == std::string_view::npos || close > end ? end : close;
            value = tag.substr(i + 1, stop - i - 1);
            i = stop + 1;
        } else {
            const std::size_t valueStart = i;
            while (i < end && !IsSpace(static_cast<unsigned char>(tag[i]))) ++i;
            value = tag.substr(valueStart, i - valueStart);
        }
        if (attrName == name) return DecodeReferences(value);
    }
    return {};
}
