#pragma once
// XmlDocument: reads a whole XML file into memory, indexes its elements once, and lets the caller
// walk the element tree with a three-level cursor (parent, main element, current child) and read
// attribute values. Navigation and attribute reads never parse again: they follow indices and
// scan one start tag.
//
// Loading never throws; failures show in the result and in the named findings ("bom",
// "no_root_element", "root_has_sibling", "lone_end_tag", "unended_start_tag", "file_error").

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class XmlDocument {
public:
    // Flags of an element.
    static constexpr std::uint32_t kIllFormed = 0x01;    // on index 0: the document has a structural error
    static constexpr std::uint32_t kNotEnded = 0x02;     // a start tag without end tag
    static constexpr std::uint32_t kLoneEndTag = 0x04;   // on index 0: an end tag without start tag was met
    static constexpr std::uint32_t kEmptyElement = 0x08; // written as <name/>

    struct ElementPosition {
        std::size_t start = 0;          // offset of '<' in the text
        std::size_t length = 0;         // through the end tag (or as far as the element got)
        std::size_t startTagLength = 0;
        std::size_t nameStart = 0;
        std::size_t nameLength = 0;
        std::uint32_t flags = 0;
        int parent = 0;
        int firstChild = 0;
        int nextSibling = 0;
        int previousSibling = 0;
        int level = 0;
    };

    // Reads and parses a file; true when it was read and is well formed: one root, no sibling of
    // the root, no structural error.
    bool LoadFile(const std::string& path);
    // The same for bytes already in memory.
    bool LoadBytes(std::string_view bytes);

    // The next search starts at the first child of the current parent.
    void ResetMainPosition();
    // Finds the next child of the main element (after the current child) named `name` exactly;
    // with no main element, the first element of the current level becomes main first. On
    // success the found element becomes the current child; on failure nothing changes.
    bool FindChildElement(std::string_view name);
    // Steps down: main → parent, current child → main.
    bool EnterElement();
    // Steps up: parent → main, main → current child.
    bool LeaveElement();
    // The decoded value of an attribute of the main element; empty when absent.
    std::string GetAttribute(std::string_view name) const;

    // The tag name of the main element (empty without one).
    std::string_view MainName() const;
    // The findings of the last load, in order, each named once ("bom, unended_start_tag").
    std::string ResultText() const;
    bool HasFinding(std::string_view name) const;
    // The document text, decoded to UTF-8, and the element index (index 0 is the document).
    const std::string& Text() const { return m_text; }
    const std::vector<ElementPosition>& Elements() const { return m_elements; }

private:
    // While parsing: the elements whose end tag has not come yet, and each element's last child.
    struct ParseState {
        std::vector<int> open;
        std::vector<int> lastChild;
    };
    bool Parse();
    // Each returns where parsing goes on, given the position of the markup's '<'.
    std::size_t SkipMarkup(std::size_t lt) const; // comments, CDATA, processing instructions, declarations
    std::size_t NameEnd(std::size_t nameStart) const;
    std::size_t ParseEndTag(std::size_t lt, ParseState& state);
    std::size_t ParseStartTag(std::size_t lt, ParseState& state);
    void AddElement(const ElementPosition& element, ParseState& state);
    void MarkIllFormed(std::string_view finding);
    // An element that was never ended reaches to `end`.
    void CloseUnended(int element, std::size_t end);
    void AddFinding(std::string_view name);
    std::string_view NameOf(int element) const;
    int FirstElementUnder(int parent) const;

    std::string m_text;
    std::vector<ElementPosition> m_elements;
    std::vector<std::string> m_findings;
    int m_root = 0;
    int m_parent = 0;
    int m_main = 0;
    int m_child = 0;
};

// Decodes the five XML references, numeric references and HTML 4 named references; a reference
// that is not recognised stays as written.
std::string DecodeReferences(std::string_view value);
