#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "profiles/xml_document.h"

namespace {

std::string WriteTemp(const std::string& name, const std::string& bytes)
{
    const auto path = std::filesystem::temp_directory_path() / ("zuzidero-xml-" + name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

// UTF-16 of an ASCII/Latin-1 text, with a byte-order mark.
std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

// Reads <Root><Item value="…"/>…</Root> values in order.
std::vector<std::string> ItemValues(XmlDocument& doc)
{
    std::vector<std::string> values;
    doc.ResetMainPosition();
    while (doc.FindChildElement("Item")) {
        doc.EnterElement();
        values.push_back(doc.GetAttribute("value"));
        doc.LeaveElement();
    }
    return values;
}

TEST(XmlDocument, ATwoRootedFileFails)
{
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadBytes("<a/><b/>"));
    EXPECT_TRUE(doc.HasFinding("root_has_sibling"));
}

TEST(XmlDocument, NoElementMeansNoRoot)
{
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadBytes(""));
    EXPECT_TRUE(doc.HasFinding("no_root_element"));
    EXPECT_FALSE(doc.LoadBytes("just some text < and more"));
    EXPECT_EQ(doc.ResultText(), "no_root_element");
    EXPECT_FALSE(doc.LoadBytes("<?xml version=\"1.0\"?><!-- <a/> -->"));
}

TEST(XmlDocument, MissingFilesAreFileErrors)
{
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadFile("/nonexistent/Format.xml"));
    EXPECT_EQ(doc.ResultText(), "file_error");
}

TEST(XmlDocument, Utf16FilesLoadLikeTheirUtf8Twins)
{
    const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                                u"<Root><Item value=\"Caf\u00e9\"/><Item value=\"\u20ac 5\"/></Root>";
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<Root><Item value=\"Caf\xC3\xA9\"/><Item value=\"\xE2\x82\xAC 5\"/></Root>";
    XmlDocument a, b, c;
    ASSERT_TRUE(a.LoadFile(WriteTemp("utf8.xml", utf8)));
    ASSERT_TRUE(b.LoadFile(WriteTemp("utf16le.xml", Utf16(text, false))));
    ASSERT_TRUE(c.LoadFile(WriteTemp("utf16be.xml", Utf16(text, true))));
    EXPECT_EQ(ItemValues(a), (std::vector<std::string>{"Caf\xC3\xA9", "\xE2\x82\xAC 5"}));
    EXPECT_EQ(ItemValues(b), ItemValues(a));
    EXPECT_EQ(ItemValues(c), ItemValues(a));
    EXPECT_EQ(b.ResultText(), "bom");
    EXPECT_EQ(a.ResultText(), "");
    XmlDocument withMark;
    ASSERT_TRUE(withMark.LoadBytes("\xEF\xBB\xBF" + utf8));
    EXPECT_TRUE(withMark.HasFinding("bom"));
    EXPECT_EQ(ItemValues(withMark), ItemValues(a));
}

TEST(XmlDocument, DeclaredEncodingsAreConverted)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadBytes("<?xml version='1.0' encoding='ISO-8859-1'?><Root><Item value='Fran\xE7ois'/></Root>"));
    EXPECT_EQ(ItemValues(doc), std::vector<std::string>{"Fran\xC3\xA7ois"});
    ASSERT_TRUE(doc.LoadBytes("<html><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\"/>"
                              "<Item value=\"\x80\"/></html>"));
    EXPECT_EQ(ItemValues(doc), std::vector<std::string>{"\xE2\x82\xAC"});
}

TEST(XmlDocument, AttributeValuesDecodeReferences)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadBytes("<Root>"
                              "<Item value=\"Tom &amp; Jerry\"/>"
                              "<Item value='&lt;&gt;&apos;&quot;'/>"
                              "<Item value=\"&#65;&#x42;&#X43;\"/>"
                              "<Item value=\"&eacute;t&eacute;&nbsp;&euro;\"/>"
                              "<Item value=\"&unknown; &#0; &#xD800; & alone\"/>"
                              "<Item other=\"x\"/>"
                              "</Root>"));
    EXPECT_EQ(ItemValues(doc), (std::vector<std::string>{"Tom & Jerry", "<>'\"", "ABC",
                                                        "\xC3\xA9t\xC3\xA9\xC2\xA0\xE2\x82\xAC",
                                                        "&unknown; &#0; &#xD800; & alone", ""}));
}

TEST(XmlDocument, CursorStepsDownAndUp)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadBytes("<Root><A value='1'><B value='2'/></A><C value='3'/></Root>"));
    EXPECT_FALSE(doc.EnterElement()); // nothing chosen yet
    EXPECT_FALSE(doc.LeaveElement()); // already at the top
    ASSERT_TRUE(doc.FindChildElement("A"));
    EXPECT_EQ(doc.MainName(), "Root");
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.MainName(), "A");
    EXPECT_EQ(doc.GetAttribute("value"), "1");
    ASSERT_TRUE(doc.FindChildElement("B"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.GetAttribute("value"), "2");
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.MainName(), "Root");
    ASSERT_TRUE(doc.FindChildElement("C"));
    // A searches only after the current child: A lies before C.
    EXPECT_FALSE(doc.FindChildElement("A"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.GetAttribute("value"), "3"); // the failed search changed nothing
    doc.LeaveElement();
    doc.ResetMainPosition();
    EXPECT_TRUE(doc.FindChildElement("A")); // from the start again
}

TEST(XmlDocument, CommentsCdataAndDeclarationsHoldNoElements)
{
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadBytes("<?xml version=\"1.0\"?>\n<!DOCTYPE Root [ <!ELEMENT Root ANY> ]>\n"
                              "<Root><!-- <Item value='no'/> --><![CDATA[<Item value='no'/>]]>"
                              "<?pi <Item?><Item value=\"a>b\"/></Root>"));
    EXPECT_EQ(ItemValues(doc), std::vector<std::string>{"a>b"});
    EXPECT_EQ(doc.Elements().size(), 3u); // document, Root, Item
}

TEST(XmlDocument, UnbalancedFilesFailWithTheirFindings)
{
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadBytes("<Root><A></B></Root>"));
    EXPECT_TRUE(doc.HasFinding("lone_end_tag"));
    EXPECT_TRUE(doc.HasFinding("unended_start_tag")); // A is closed by Root's end tag
    EXPECT_FALSE(doc.LoadBytes("<Root><A>"));
    EXPECT_EQ(doc.ResultText(), "unended_start_tag");
    EXPECT_TRUE(doc.Elements()[1].flags & XmlDocument::kNotEnded);
    EXPECT_FALSE(doc.LoadBytes("<Root></Root></Root>"));
    EXPECT_TRUE(doc.HasFinding("lone_end_tag"));
}

TEST(XmlDocument, BrokenFilesFailCleanly)
{
    XmlDocument doc;
    const std::string good = "<Profiles><Profile><ProfileName value=\"x\"/></Profile></Profiles>";
    // Cut at every length: never a crash, never a false success.
    for (std::size_t cut = 0; cut < good.size(); ++cut) EXPECT_FALSE(doc.LoadBytes(good.substr(0, cut))) << cut;
    EXPECT_TRUE(doc.LoadBytes(good));
    EXPECT_FALSE(doc.LoadBytes("<Root value=\"never closed"));
    EXPECT_TRUE(doc.HasFinding("unended_start_tag"));

    std::mt19937 random(12345);
    std::string garbage(1 << 16, '\0');
    for (int round = 0; round < 20; ++round) {
        for (char& c : garbage) c = static_cast<char>(random());
        doc.LoadBytes(garbage); // any result, but a clean one
        EXPECT_NE(doc.Elements().size(), 0u);
    }
}

TEST(XmlDocument, DeepNestingAndHugeValues)
{
    XmlDocument doc;
    const int depth = 200000;
    std::string deep;
    for (int i = 0; i < depth; ++i) deep += "<a>";
    EXPECT_FALSE(doc.LoadBytes(deep));
    EXPECT_EQ(doc.ResultText(), "unended_start_tag");
    for (int i = 0; i < depth; ++i) deep += "</a>";
    ASSERT_TRUE(doc.LoadBytes(deep));
    EXPECT_EQ(doc.Elements().back().level, depth);

    const std::string huge(8 << 20, 'v');
    ASSERT_TRUE(doc.LoadBytes("<Root><Item value=\"" + huge + "\"/></Root>"));
    EXPECT_EQ(ItemValues(doc), std::vector<std::string>{huge});
}

} // namespace
