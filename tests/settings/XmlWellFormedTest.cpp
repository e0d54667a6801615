// CXmlDoc's verdict and element tree against expat's on generated documents
// and on documents broken in their tag structure. CXmlDoc is lenient where
// expat is strict (text beside the root, names, attribute syntax, undefined
// entities); the last test pins those differences down.
#include <expat.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/core/Strings.h"
#include "settings/XmlDoc.h"

namespace {

struct ExpatElement {
    int depth;
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
};

struct ExpatResult {
    bool wellFormed = false;
    std::vector<ExpatElement> elements;
};

ExpatResult ParseWithExpat(const std::wstring& text) {
    struct State {
        ExpatResult result;
        int depth = 0;
    } state;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attrs) {
            auto* s = static_cast<State*>(data);
            ExpatElement e{s->depth++, FromUtf8(name), {}};
            for (int i = 0; attrs[i]; i += 2) e.attributes.emplace_back(FromUtf8(attrs[i]), FromUtf8(attrs[i + 1]));
            s->result.elements.push_back(std::move(e));
        },
        [](void* data, const XML_Char*) { --static_cast<State*>(data)->depth; });
    const std::string bytes = ToUtf8(text);
    state.result.wellFormed =
        XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return state.result;
}

// Walks CXmlDoc's elements in document order.
void Walk(CXmlDoc& doc, int depth, std::vector<std::pair<int, std::wstring>>& out) {
    while (doc.FindElement()) {
        out.emplace_back(depth, doc.GetTagName());
        if (doc.IntoElement()) {
            Walk(doc, depth + 1, out);
            doc.OutOfElement();
        }
    }
}

// Documents that are well formed by construction.
class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    std::wstring Document() {
        std::wstring out;
        if (Chance(2)) out += L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
        if (Chance(4)) out += L"\r\n<!DOCTYPE r [ <!ELEMENT r ANY> <!-- ] > ' --> ]>";
        Misc(out);
        rootStart_ = out.size();
        rootContent_ = std::wstring::npos;
        Element(out, 0);
        rootEnd_ = out.size();
        Misc(out);
        return out;
    }
    std::size_t rootStart() const { return rootStart_; }
    std::size_t rootEnd() const { return rootEnd_; }
    // Just after the root's start tag; npos for an empty root.
    std::size_t rootContent() const { return rootContent_; }
    std::mt19937& rng() { return rng_; }

private:
    bool Chance(unsigned n) { return rng_() % n == 0; }
    template <std::size_t N>
    const wchar_t* Pick(const wchar_t* const (&items)[N]) {
        return items[rng_() % N];
    }

    void Misc(std::wstring& out) {
        static const wchar_t* const kMisc[] = {L"\r\n", L" ", L"<!-- note - > -->", L"<?pi data?>", L"\t"};
        for (int i = rng_() % 3; i > 0; --i) out += Pick(kMisc);
    }

    std::wstring Name() {
        static const wchar_t* const kNames[] = {L"a", L"b", L"item", L"x:y", L"_z", L"n-1.2", L"\u4E2D\u6587", L"A"};
        return Pick(kNames);
    }

    std::wstring AttrValue(wchar_t quote) {
        static const wchar_t* const kPieces[] = {L"v", L" ", L"&amp;", L"&lt;", L"&gt;", L"&quot;", L"&apos;",
                                                 L"&#x4E2D;", L"&#20013;", L">", L"\u00E9", L"\U0001F600", L"/"};
        std::wstring v;
        for (int i = rng_() % 5; i > 0; --i) v += Pick(kPieces);
        v += quote == L'"' ? L"'" : L"\"";  // the other quotation mark is plain text
        return v;
    }

    void Element(std::wstring& out, int depth) {
        const std::wstring name = Name();
        out += L"<" + name;
        static const wchar_t* const kAttrNames[] = {L"p", L"q", L"r:s", L"t-1", L"\u540D"};
        const int attrs = static_cast<int>(rng_() % 4);
        for (int i = 0; i < attrs; ++i) {
            const wchar_t quote = Chance(2) ? L'"' : L'\'';
            out += Chance(3) ? L"\r\n  " : L" ";
            out += kAttrNames[i];
            out += Chance(4) ? L" = " : L"=";
            out += quote + AttrValue(quote) + quote;
        }
        if (depth > 4 || Chance(4)) {
            out += Chance(2) ? L"/>" : L" />";
            return;
        }
        out += L">";
        if (depth == 0) rootContent_ = out.size();
        for (int i = rng_() % 5; i > 0; --i) {
            switch (rng_() % 6) {
                case 0: Element(out, depth + 1); break;
                case 1: out += L"text &amp; &#65; > ] \u4E2D"; break;
                case 2: out += L"<!-- <not/> -->"; break;
                case 3: out += L"<![CDATA[ <not/> & ]] ]]>"; break;
                case 4: out += L"<?target <not/>?>"; break;
                default: out += L"\r\n"; break;
            }
        }
        out += L"</" + name + (Chance(4) ? L" >" : L">");
    }

    std::mt19937 rng_;
    std::size_t rootStart_ = 0, rootEnd_ = 0, rootContent_ = std::wstring::npos;
};

bool OursWellFormed(const std::wstring& text) { return CXmlDoc().SetDocument(text); }

}  // namespace

TEST(XmlWellFormed, GeneratedDocumentsReadAsExpatReadsThem) {
    Generator gen(2024);
    for (int i = 0; i < 400; ++i) {
        const std::wstring text = gen.Document();
        const ExpatResult expat = ParseWithExpat(text);
        ASSERT_TRUE(expat.wellFormed) << ToUtf8(text);
        CXmlDoc doc;
        ASSERT_TRUE(doc.SetDocument(text)) << ToUtf8(text) << "\n" << ToUtf8(doc.GetResultNotes());
        std::vector<std::pair<int, std::wstring>> ours;
        Walk(doc, 0, ours);
        ASSERT_EQ(ours.size(), expat.elements.size()) << ToUtf8(text);
        // Every element with its name, depth and attribute values.
        CXmlDoc walker(text.c_str());
        std::size_t k = 0;
        auto check = [&](auto&& self, int depth) -> void {
            while (walker.FindElement()) {
                const ExpatElement& e = expat.elements[k++];
                EXPECT_EQ(e.depth, depth);
                EXPECT_EQ(walker.GetTagName(), e.name);
                for (const auto& [name, value] : e.attributes)
                    EXPECT_EQ(walker.GetAttribute(name), value) << ToUtf8(text) << " " << ToUtf8(name);
                if (walker.IntoElement()) {
                    self(self, depth + 1);
                    walker.OutOfElement();
                }
            }
        };
        check(check, 0);
        EXPECT_EQ(k, expat.elements.size());
    }
}

// Broken tag structure: both parsers refuse every variant, except an end
// tag that closes nothing, which CXmlDoc skips.
TEST(XmlWellFormed, BrokenStructureIsRefusedAsExpatRefusesIt) {
    Generator gen(77);
    int variants = 0;
    for (int i = 0; i < 200; ++i) {
        const std::wstring text = gen.Document();
        std::mt19937& rng = gen.rng();
        std::vector<std::wstring> broken;
        std::vector<std::wstring> stray;
        // Cut inside the root element.
        const std::size_t span = gen.rootEnd() - gen.rootStart();
        for (int k = 0; k < 4; ++k) broken.push_back(text.substr(0, gen.rootStart() + 1 + rng() % (span - 1)));
        // A second root.
        broken.push_back(text + L"<again/>");
        // An end tag dropped, renamed or joined by a stray one.
        const std::size_t end = text.find(L"</", gen.rootStart());
        if (end != std::wstring::npos && end < gen.rootEnd()) {
            const std::size_t close = text.find(L'>', end);
            broken.push_back(text.substr(0, end) + text.substr(close + 1));
            broken.push_back(text.substr(0, end) + L"</other>" + text.substr(close + 1));
            stray.push_back(text.substr(0, end) + L"</stray>" + text.substr(end));
        }
        // A '<' that starts nothing, in content.
        const std::size_t content = gen.rootContent();
        if (content != std::wstring::npos) broken.push_back(text.substr(0, content) + L"< x" + text.substr(content));
        for (const auto& b : broken) {
            EXPECT_FALSE(ParseWithExpat(b).wellFormed) << ToUtf8(b);
            EXPECT_FALSE(OursWellFormed(b)) << ToUtf8(b);
            ++variants;
        }
        for (const auto& b : stray) {
            EXPECT_FALSE(ParseWithExpat(b).wellFormed) << ToUtf8(b);
            EXPECT_TRUE(OursWellFormed(b)) << ToUtf8(b);
            ++variants;
        }
    }
    EXPECT_GT(variants, 1000);
}

// Hand-written cases, with what each parser says. Where they differ, the
// difference is ours on purpose: CXmlDoc checks the tag structure only.
TEST(XmlWellFormed, HandWrittenCasesAndTheKnownDifferences) {
    struct Case {
        const wchar_t* text;
        bool ours;
        bool expat;
    };
    const Case cases[] = {
        {L"<a/>", true, true},
        {L"<a><b></b></a>", true, true},
        {L"<a><b></a></b>", false, false},
        {L"<a></A>", false, false},
        {L"<a/><b/>", false, false},
        {L"<?xml version=\"1.0\"?>", false, false},
        {L"", false, false},
        {L"<a><!-- x </a>", false, false},
        {L"<a><![CDATA[ x </a>", false, false},
        {L"<a b=\"1></a>", false, false},
        {L"<a>< /a>", false, false},
        {L"<a></a", false, false},
        // Lenient on purpose.
        {L"text<a/>", true, false},               // text beside the root
        {L"<a/>text", true, false},
        {L"<a b=\"1\" b=\"2\"/>", true, false},    // a repeated attribute
        {L"<a b=1/>", true, false},               // an unquoted value
        {L"<a b/>", true, false},                 // an attribute without value
        {L"<a b=\"<\"/>", true, false},           // '<' in a value
        {L"<a>&undefined;</a>", true, false},     // an entity nobody declared
        {L"<a><!-- -- --></a>", true, false},     // "--" in a comment
        {L"<a>]]></a>", true, false},             // "]]>" in text
        {L"<a\u00D7/>", true, false},             // a character names cannot hold
        {L"<a></a x>", true, false},              // something after the end tag's name
        {L"<a></b></a>", true, false},            // an end tag that closes nothing
        {L"<a/><?xml version=\"1.0\"?>", true, false},  // a declaration not at the start
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OursWellFormed(c.text), c.ours) << ToUtf8(c.text);
        EXPECT_EQ(ParseWithExpat(c.text).wellFormed, c.expat) << ToUtf8(c.text);
    }
}
