// The purpose-built scanner that reads worksheets is held to expat's reading: the same events
// for well-formed documents however the bytes are split into chunks (expat taking over for
// encodings other than UTF-8), and a refusal for every document expat refuses.

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/xml/Xml.h"
#include "support/XmlEvents.h"

#include <gtest/gtest.h>
#include <random>

namespace quillory::testing {
namespace {

using spreadsheet::ErrorCode;
using spreadsheet::ooxml::XmlBackend;
using namespace std::string_literals;

constexpr std::size_t kChunkSizes[] = {0, 1, 2, 3, 7, 64};

std::string Refused(ErrorCode code) {
    return "refused " + std::to_string(static_cast<int>(code));
}

void ExpectSameReading(const std::string& xml) {
    const std::string expected = RecordXmlEvents(xml, XmlBackend::Expat);
    ASSERT_FALSE(expected.starts_with("refused")) << "expat refuses " << xml;
    for (const std::size_t chunk : kChunkSizes) {
        EXPECT_EQ(RecordXmlEvents(xml, XmlBackend::Scanner, chunk), expected)
            << "document: " << xml << "\nchunks of " << chunk;
    }
}

TEST(XmlScanner, ReadsWellFormedDocumentsAsExpatDoes) {
    const std::string documents[] = {
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<worksheet xmlns="urn:main" xmlns:r="urn:r"><sheetData><row r="1" spans="1:2">)"
        R"(<c r="A1" s="1" t="s"><v>0</v></c><c r="B1"><f>A1*2&amp;"x"</f><v>3</v></c></row>)"
        R"(</sheetData><x:ext x:a='single "quoted"' b = "spaced" /></worksheet>)",
        "\xEF\xBB\xBF<a>byte order mark</a>",
        "<?xml version='1.0' encoding='utf-8'?><a/>",
        R"(<a t="&lt;&gt;&amp;&apos;&quot;&#65;&#x42;&#x1F600;">&lt;b&gt; &#233;&#xe9; &#10;</a>)",
        "<a v=\"tab\there\nline\r\nwindows\rold\">text\r\nwith\rbreaks\n</a>",
        "<a v=\"&#9;&#10;&#13;\">kept as written: &#13;</a>",
        "<a><![CDATA[<not a tag> & ]] \r\n]]><![CDATA[]]>after</a>",
        "<!-- before --><?pi data?>\n<a><!-- inside --><?pi?>x<b/></a>\n<!-- after --><?pi?>\n",
        "<a>caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 ]] ] > </a>",
        "<\xC3\xA9l\xC3\xA9ment attribut\xC3\xA9=\"1\"></\xC3\xA9l\xC3\xA9ment >",
        "<a:b.c-d_e xmlns:a=\"urn:a\"><_x/><x.1/></a:b.c-d_e>",
        "<a>" + std::string(1000, ' ') + "</a>   \n\t ",
        // Other encodings are left to expat.
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a v=\"\xE9\">\xE9</a>",
        "\xFF\xFE<\0a\0>\0x\0<\0/\0a\0>\0"s,
    };
    for (const auto& xml : documents) {
        ExpectSameReading(xml);
    }
}

// Expat refuses the document as malformed, and so does the scanner, in chunks of every size.
void ExpectMalformed(const std::string& xml) {
    EXPECT_EQ(RecordXmlEvents(xml, XmlBackend::Expat), Refused(ErrorCode::MalformedXml))
        << "expat, document: " << xml;
    for (const std::size_t chunk : kChunkSizes) {
        EXPECT_EQ(RecordXmlEvents(xml, XmlBackend::Scanner, chunk),
                  Refused(ErrorCode::MalformedXml))
            << "document: " << xml << "\nchunks of " << chunk;
    }
}

TEST(XmlScanner, RefusesWhatExpatRefuses) {
    // Elements and attributes broken, unclosed or out of place.
    for (const char* xml :
         {"", "   ", "<a>", "<a></b>", "<a></a><b/>", "<a/>junk", "junk<a/>", "<a b='1' b='2'/>",
          "<a b=1/>", "<a b/>", "<a b='1'c='2'/>", "<a b='<'/>", "</a>", "<a></a", "<a b='1'",
          "<1a/>", "<a/ >", "<a></a  b>", "<a><</a>",
          // Comments, declarations and sections where they may not be.
          "<a><!-- a -- b --></a>", "<a><!-- a ---></a>", "<a/><?xml version='1.0'?>",
          "<a><!bogus></a>", "<![CDATA[x]]><a/>", "<a><!DOCTYPE a></a>", "<a>]]></a>",
          // References and bytes that are no characters.
          "<a>&nbsp;</a>", "<a>&amp</a>", "<a>&#0;</a>", "<a>&#xD800;</a>", "<a>&#x110000;</a>",
          "<a>&#;</a>", "<a>&#x1G;</a>", "<a>\xC0\x80</a>", "<a>\x80</a>", "<a>\xC3</a>",
          "<a>\xED\xA0\x80</a>", "<a>\xEF\xBF\xBF</a>", "<a>\x01</a>"}) {
        ExpectMalformed(xml);
    }
    const std::string dtd = R"(<!DOCTYPE a [<!ENTITY x "boom">]><a>&x;</a>)";
    for (const std::size_t chunk : kChunkSizes) {
        EXPECT_EQ(RecordXmlEvents(dtd, XmlBackend::Scanner, chunk),
                  Refused(ErrorCode::XmlDeclarationsRefused));
    }
    std::string deep;
    for (int i = 0; i <= spreadsheet::ooxml::kMaxXmlDepth; ++i) {
        deep += "<a>";
    }
    EXPECT_EQ(RecordXmlEvents(deep, XmlBackend::Scanner), Refused(ErrorCode::MalformedXml));
}

TEST(XmlScanner, HandsOnHugeTextInPiecesWithoutSplittingCharactersOrReferences) {
    // Far more text than the scanner holds back, with references, multi-byte characters,
    // "]]" and line ends at every offset against the chunk boundaries.
    std::string text;
    const std::string pieces[] = {"&amp;", "\xC3\xA9", "\xF0\x9F\x98\x80", "]]",
                                  "\r\n",  "&#x263A;", "plain text "};
    std::mt19937 random(7);
    while (text.size() < 3'000'000) {
        text += pieces[random() % std::size(pieces)];
    }
    const std::string xml = "<a>" + text + "</a>";
    const std::string expected = RecordXmlEvents(xml, XmlBackend::Expat);
    ASSERT_EQ(expected.substr(0, 4), "<a>\"");
    for (const std::size_t chunk : {4093, 65536}) {
        EXPECT_EQ(RecordXmlEvents(xml, XmlBackend::Scanner, chunk), expected) << chunk;
    }
    // A reference split from its end by the hold-back limit is still one reference.
    EXPECT_EQ(
        RecordXmlEvents("<a>" + std::string(300'000, 'x') + "&#" + std::string(40, '0') + "65;</a>",
                        XmlBackend::Scanner, 1000),
        "<a>\"" + std::string(300'000, 'x') + "A\"</a>");
}

TEST(XmlScanner, AgreesWithExpatOnMutatedDocuments) {
    // Bytes that matter to XML, dropped into and over a valid document at random.
    const std::string seed = R"(<?xml version="1.0"?><w x:a="1"><d><r r="1"><c r="A1" t="s">)"
                             R"(<v>0</v></c><c><f>SUM(A1:B2)&amp;"&lt;"</f><is><t xml:space=)"
                             R"("preserve"> a&#233; </t></is></c></r></d><!--c--><e/></w>)";
    const std::string alphabet = "<>/\"'=&;#x !?[]-:a1\r\n\t";
    std::mt19937 random(2026);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string xml = seed;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = random() % xml.size();
            const char c = alphabet[random() % alphabet.size()];
            switch (random() % 3) {
            case 0:
                xml[at] = c;
                break;
            case 1:
                xml.insert(xml.begin() + static_cast<std::ptrdiff_t>(at), c);
                break;
            default:
                xml.erase(at, 1);
                break;
            }
        }
        const std::string expected = RecordXmlEvents(xml, XmlBackend::Expat);
        accepted += expected.starts_with("refused") ? 0 : 1;
        const std::size_t chunk = 1 + random() % 40;
        ASSERT_EQ(RecordXmlEvents(xml, XmlBackend::Scanner, chunk), expected)
            << "document: " << xml << "\nchunks of " << chunk;
    }
    // Both outcomes were exercised.
    EXPECT_GT(accepted, 100);
    EXPECT_LT(accepted, 2900);
}

} // namespace
} // namespace quillory::testing
