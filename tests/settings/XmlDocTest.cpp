#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "settings/XmlDoc.h"
#include "settings/XmlDocIndexView.h"
#include "support/TempDir.h"

void PrintTo(const CXmlDocIndexView::Element& e, std::ostream* os) {
    *os << testing::PrintToString(e.name) << "@" << e.start << "+" << e.length << " tags " << e.startTagLen << "/"
        << e.endTagLen << " depth " << e.depth << (e.notEnded ? " not ended" : "");
}

namespace {

std::wstring Names(const CXmlDoc& doc) {
    std::wstring out;
    for (const auto& e : CXmlDocIndexView::Tree(doc)) {
        out += std::wstring(static_cast<std::size_t>(e.depth), L'.') + e.name + (e.notEnded ? L"!" : L"") + L" ";
    }
    return out;
}

bool HasNote(const CXmlDoc& doc, const std::wstring& note) {
    return doc.GetResultNotes().find(note) != std::wstring::npos;
}

}  // namespace

TEST(XmlDocParse, VerdictsAndNotes) {
    struct Case {
        const wchar_t* text;
        bool wellFormed;
        const wchar_t* note;  // a note the parse must leave (null: no notes at all)
        const wchar_t* tree;
    };
    const Case cases[] = {
        {L"", false, nullptr, L""},
        {L"<?xml version=\"1.0\"?>", false, L"<no_root_element/>", L""},
        {L"  just text ", false, L"<no_root_element/>", L""},
        {L"<a/><b/>", false, L"<root_has_sibling/>", L"a b "},
        {L"<a><b></a>", false, L"<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"6\"/>", L"a .b! "},
        // An end tag that closes nothing is skipped; the document stays well formed.
        {L"<a></b></a>", true, L"<lone_end_tag tagname=\"b\" offset=\"3\"/>", L"a "},
        {L"</b><a/>", true, L"<lone_end_tag tagname=\"b\" offset=\"0\"/>", L"a "},
        {L"<a/></b>", true, L"<lone_end_tag tagname=\"b\" offset=\"4\"/>", L"a "},
        {L"<a>", false, L"<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"3\"/>", L"a! "},
        {L"<a/><!-- open", false, L"<unterminated_tag_syntax type=\"comment\" offset=\"4\"/>", L"a "},
        {L"<a/><![CDATA[x", false, L"<unterminated_tag_syntax type=\"cdata_section\" offset=\"4\"/>", L"a "},
        {L"<a/><?pi x", false, L"<unterminated_tag_syntax type=\"processing_instruction\" offset=\"4\"/>", L"a "},
        {L"<!DOCTYPE a [ <!ELEMENT a ANY> <a/>", false,
         L"<unterminated_tag_syntax type=\"document_type\" offset=\"0\"/>", L""},
        {L"<a><b x=\"1</a>", false, L"<unterminated_tag_syntax type=\"start_tag\" offset=\"3\"/>", L"a! "},
        {L"<a><b <c/></a>", false, L"<unterminated_tag_syntax type=\"start_tag\" offset=\"3\"/>", L"a .c "},
        {L"<a></a <b/>", false, L"<unterminated_tag_syntax type=\"end_tag\" offset=\"3\"/>", L"a! b "},
        {L"<a/><", false, L"<unterminated_tag_syntax type=\"tag\" offset=\"4\"/>", L"a "},
        {L"<a>< b</a>", false, L"<first_tag_syntax offset=\"3\"/>", L"a "},
        {L"<a><!-x--></a>", false, L"<comment_tag_syntax offset=\"3\"/>", L"a "},
        {L"<a><![CDAT[x]]></a>", false, L"<cdata_section_syntax offset=\"3\"/>", L"a "},
        {L"<!DOCTYP a><a/>", false, L"<doctype_tag_syntax offset=\"0\"/>", L"a "},
        {L"<a><!ENTITY x></a>", false, L"<exclamation_tag_syntax offset=\"3\"/>", L"a "},
        // Well-formed: the greater-than sign inside quotes does not end a
        // tag; comments, sections, instructions and the document type with
        // its internal subset are passed over.
        {L"<?xml version=\"1.0\"?>\r\n<!DOCTYPE r [ <!ENTITY e \"]>\"> <!-- ' --> ]>\r\n"
         L"<r x='a>b' y=\"<\"><!-- <c/> --><![CDATA[<d/>]]><?p <e/>?><f/>text</r>",
         true, nullptr, L"r .f "},
        {L"<a><b><c/></b><b/></a>", true, nullptr, L"a .b ..c .b "},
    };
    for (const auto& c : cases) {
        CXmlDoc doc;
        EXPECT_EQ(doc.SetDocument(c.text), c.wellFormed) << testing::PrintToString(std::wstring(c.text));
        if (c.note) {
            EXPECT_TRUE(HasNote(doc, c.note)) << testing::PrintToString(doc.GetResultNotes());
        } else {
            EXPECT_EQ(doc.GetResultNotes(), L"") << testing::PrintToString(std::wstring(c.text));
        }
        EXPECT_EQ(Names(doc), c.tree) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(CXmlDocIndexView::CheckIndex(doc), "") << testing::PrintToString(std::wstring(c.text));
    }
}

TEST(XmlDocParse, ANotEndedElementGivesItsContentToTheEnclosingOne) {
    CXmlDoc doc(L"<r><a x=\"1\"><b/><c><d/></c></r>");
    EXPECT_EQ(Names(doc), L"r .a! .b .c ..d ");
    // a is its start tag alone; b and c are found after it under r.
    ASSERT_TRUE(doc.FindElement(L"r"));
    ASSERT_TRUE(doc.IntoElement());
    ASSERT_TRUE(doc.FindElement(L"a"));
    EXPECT_EQ(doc.GetAttribute(L"x"), L"1");
    EXPECT_FALSE(doc.IntoElement() && doc.FindElement());
    doc.OutOfElement();
    EXPECT_TRUE(doc.FindElement(L"c"));
}

TEST(XmlDocNavigation, FindsForwardOnlyAndStaysWhereItWasOnAMiss) {
    CXmlDoc doc(L"<r><a/><b/><c/><B/></r>");
    ASSERT_TRUE(doc.FindElement(L"r"));
    ASSERT_TRUE(doc.IntoElement());
    ASSERT_TRUE(doc.FindElement(L"c"));
    EXPECT_FALSE(doc.FindElement(L"a"));
    EXPECT_EQ(doc.GetTagName(), L"c");
    EXPECT_FALSE(doc.FindElement(L"b"));  // case counts
    EXPECT_TRUE(doc.FindElement(L"B"));
    EXPECT_FALSE(doc.FindElement());  // nothing after the last

    ASSERT_TRUE(doc.OutOfElement());
    EXPECT_EQ(doc.GetTagName(), L"r");
    ASSERT_TRUE(doc.IntoElement());  // back to the child we came from
    EXPECT_EQ(doc.GetTagName(), L"B");

    CXmlDoc any(L"<r><x/><y/></r>");
    any.FindElement();
    any.IntoElement();
    EXPECT_TRUE(any.FindElement());
    EXPECT_EQ(any.GetTagName(), L"x");
    EXPECT_TRUE(any.FindElement(L""));
    EXPECT_EQ(any.GetTagName(), L"y");
    EXPECT_FALSE(CXmlDoc(L"<r/>").FindElement(L"/r"));
    // A name must end where the tag name ends.
    EXPECT_FALSE(CXmlDoc(L"<rr/>").FindElement(L"r"));

    CXmlDoc folded(L"<Config/>");
    folded.SetFlags(XDF_IGNORE_CASE);
    EXPECT_TRUE(folded.FindElement(L"config"));
}

TEST(XmlDocAttributes, ReadEscapedValuesAndReferences) {
    CXmlDoc doc(
        L"<a q=\"&quot;&amp;&lt;\" hex=\"&#x4E2D;\" dec=\"&#20013;\" nb=\"&nbsp;\" big=\"&#x1F600;\" "
        L"zero=\"&#0;\" huge=\"&#x110000;&#99999999999999999999;\" sur=\"&#xD800;\" unknown=\"&foo;&amp\" "
        L"upper=\"&AMP;&Auml;&AUML;\" single='it&apos;s' spaced = \"v\" bare=x/>");
    ASSERT_TRUE(doc.FindElement(L"a"));
    const std::pair<const wchar_t*, std::wstring> expected[] = {
        {L"q", L"\"&<"},
        {L"hex", L"\u4E2D"},
        {L"dec", L"\u4E2D"},
        {L"nb", L"\u00A0"},
        {L"big", L"\U0001F600"},
        {L"zero", L"&#0;"},
        {L"huge", L"&#x110000;&#99999999999999999999;"},
        {L"sur", L"&#xD800;"},
        {L"unknown", L"&foo;&amp"},
        {L"upper", L"&\u00C4\u00E4"},
        {L"single", L"it's"},
        {L"spaced", L"v"},
        {L"bare", L"x"},
        {L"missing", L""},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(doc.GetAttribute(name), value) << testing::PrintToString(name);
    EXPECT_EQ(CXmlDoc().GetAttribute(L"q"), L"");  // no current element
}

TEST(XmlDocAttributes, EscapeAndUnescape) {
    EXPECT_EQ(CXmlDoc::EscapeXmlText(L"a&b<c>d\"e'f"), L"a&amp;b&lt;c&gt;d\"e'f");
    EXPECT_EQ(CXmlDoc::EscapeXmlText(L"\"'", XML_ESCAPE_QUOTES), L"&quot;&apos;");
    EXPECT_EQ(CXmlDoc::EscapeXmlText(L"&amp; &#12; &#x1f; & &x", XML_ESCAPE_KEEP_REFS),
              L"&amp; &#12; &#x1f; &amp; &amp;x");
    EXPECT_EQ(CXmlDoc::UnescapeXmlText(L"  a \t\r\n b  ", XML_TRIM), L"a \t\r\n b");
    EXPECT_EQ(CXmlDoc::UnescapeXmlText(L"  a \t\r\n b  ", XML_TRIM | XML_COLLAPSE), L"a b");
    // Every character survives escaping and unescaping.
    std::wstring all;
    for (wchar_t c = 1; c < 0x300; ++c) all += c;
    all += L"\u4E2D\U0001F600&amp;&#65;";
    EXPECT_EQ(CXmlDoc::UnescapeXmlText(CXmlDoc::EscapeXmlText(all, XML_ESCAPE_QUOTES)), all);
}

TEST(XmlDocAttributes, SetKeepsPlaceReplacesOnlyTheValueAndEscapes) {
    CXmlDoc doc(L"<r><a x='1' y=\"2\" z=3 w/><b /></r>");
    doc.FindElement(L"r");
    doc.IntoElement();
    ASSERT_TRUE(doc.FindElement(L"a"));
    EXPECT_TRUE(doc.SetAttribute(L"y", L"two"));
    EXPECT_TRUE(doc.SetAttribute(L"x", L"\"&<"));
    EXPECT_TRUE(doc.SetAttribute(L"z", L"3'"));
    EXPECT_TRUE(doc.SetAttribute(L"w", L"4"));
    EXPECT_TRUE(doc.SetAttribute(L"n", L"new"));
    ASSERT_TRUE(doc.FindElement(L"b"));
    EXPECT_TRUE(doc.SetAttribute(L"k", L"v"));
    EXPECT_EQ(doc.GetDocument(),
              L"<r><a x=\"&quot;&amp;&lt;\" y=\"two\" z=\"3&apos;\" w=\"4\" n=\"new\"/><b k=\"v\" /></r>");
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(doc), "");
    CXmlDoc again(doc.GetDocument().c_str());
    again.FindElement(L"r");
    again.IntoElement();
    again.FindElement(L"a");
    EXPECT_EQ(again.GetAttribute(L"x"), L"\"&<");
    EXPECT_EQ(again.GetAttribute(L"z"), L"3'");
    EXPECT_EQ(CXmlDocIndexView::Tree(again), CXmlDocIndexView::Tree(doc));

    // An equals sign with nothing after it: a new attribute behind it is not
    // taken for its value.
    CXmlDoc bare(L"<c x=></c>");
    bare.FindElement(L"c");
    ASSERT_TRUE(bare.SetAttribute(L"n", L"1"));
    EXPECT_EQ(bare.GetDocument(), L"<c x= n=\"1\"></c>");
    EXPECT_EQ(bare.GetAttribute(L"n"), L"1");
    EXPECT_EQ(bare.GetAttribute(L"x"), L"");
    ASSERT_TRUE(bare.SetAttribute(L"x", L"2"));
    EXPECT_EQ(bare.GetDocument(), L"<c x=\"2\" n=\"1\"></c>");
}

TEST(XmlDocAttributes, NamesThatWouldBreakTheTagAreRefused) {
    CXmlDoc doc(L"<a/>");
    doc.FindElement(L"a");
    for (const wchar_t* name : {L"", L"b c", L"b>", L"b=\"x\"", L"1b", L"b/", L"b'", L"<b"})
        EXPECT_FALSE(doc.SetAttribute(name, L"v")) << testing::PrintToString(std::wstring(name));
    for (const wchar_t* name : {L"", L"b c", L"b>", L"b/", L"-b", L"b\"", L"b<x"})
        EXPECT_FALSE(doc.AddElement(name)) << testing::PrintToString(std::wstring(name));
    EXPECT_EQ(doc.GetDocument(), L"<a/>");
    EXPECT_TRUE(doc.SetAttribute(L"x:y-z.1_", L"v"));
    EXPECT_TRUE(doc.AddElement(L"\u4E2D\u6587"));
}

TEST(XmlDocAdd, LayoutOfTheWrittenText) {
    // The configuration file's sequence.
    CXmlDoc doc;
    doc.SetDocument(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    ASSERT_TRUE(doc.AddElement(L"config"));
    EXPECT_EQ(doc.GetDocument(), L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config/>\r\n");
    ASSERT_TRUE(doc.IntoElement());
    ASSERT_TRUE(doc.AddElement(L"filedir"));
    EXPECT_EQ(doc.GetDocument(), L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config>\r\n<filedir/>\r\n</config>\r\n");
    doc.SetAttribute(L"a", L"1");
    doc.SetAttribute(L"b", L"2");
    doc.AddElement(L"other");
    doc.SetAttribute(L"c", L"3");
    doc.OutOfElement();
    EXPECT_EQ(doc.GetDocument(),
              L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config>\r\n<filedir a=\"1\" b=\"2\"/>\r\n"
              L"<other c=\"3\"/>\r\n</config>\r\n");
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(doc), "");

    struct Case {
        const wchar_t* start;
        const wchar_t* into;  // element to step into, or null to add after the first top-level element
        const wchar_t* value;
        std::uint32_t flags;
        const wchar_t* result;
    };
    const Case cases[] = {
        {L"<a></a>", L"a", nullptr, 0, L"<a>\r\n<b/>\r\n</a>"},
        {L"<a>x</a>", L"a", nullptr, 0, L"<a>x<b/>\r\n</a>"},
        {L"<a/>", L"a", L"1 < 2", 0, L"<a>\r\n<b>1 &lt; 2</b>\r\n</a>"},
        {L"<a/>", L"a", L"x]]>y", XML_ADD_CDATA, L"<a>\r\n<b><![CDATA[x]]]]><![CDATA[>y]]></b>\r\n</a>"},
        {L"<a/>", L"a", nullptr, XML_ADD_NO_LINES, L"<a><b/></a>"},
        {L"<a/>", L"a", nullptr, XML_ADD_SPACE, L"<a>\r\n<b />\r\n</a>"},
        {L"<a x=y//>", L"a", nullptr, 0, L"<a x=y/ >\r\n<b/>\r\n</a>"},
        {L"<a/>  <!--c-->", nullptr, nullptr, 0, L"<a/>  <b/>\r\n<!--c-->"},
        {L"<a/>text", nullptr, nullptr, 0, L"<a/><b/>\r\ntext"},
        {L"<a/> \r\n", nullptr, nullptr, XML_ADD_NO_LINES, L"<a/><b/> \r\n"},
        {L"<a><c/></a>", nullptr, nullptr, XML_ADD_CHILD, L"<a><c/><b/>\r\n</a>"},
    };
    for (const auto& c : cases) {
        CXmlDoc d(c.start);
        ASSERT_TRUE(d.FindElement(L"a"));
        if (c.into) d.IntoElement();
        ASSERT_TRUE(d.AddElement(L"b", c.value, c.flags)) << testing::PrintToString(std::wstring(c.start));
        EXPECT_EQ(d.GetDocument(), c.result);
        EXPECT_EQ(d.GetTagName(), L"b");
        EXPECT_EQ(CXmlDocIndexView::CheckIndex(d), "") << testing::PrintToString(std::wstring(c.result));
        CXmlDoc fresh(d.GetDocument().c_str());
        EXPECT_EQ(CXmlDocIndexView::Tree(fresh), CXmlDocIndexView::Tree(d)) << testing::PrintToString(d.GetDocument());
    }
}

TEST(XmlDocAdd, StartTagOnlyAndChildrenOfNotEndedElements) {
    CXmlDoc doc(L"<r><a/></r>");
    doc.FindElement(L"r");
    doc.IntoElement();
    doc.FindElement(L"a");
    ASSERT_TRUE(doc.AddElement(L"s", nullptr, XML_ADD_START_ONLY));
    EXPECT_EQ(doc.GetDocument(), L"<r><a/><s>\r\n</r>");
    EXPECT_TRUE(CXmlDocIndexView::IllFormed(doc));
    CXmlDoc fresh(doc.GetDocument().c_str());
    EXPECT_EQ(CXmlDocIndexView::Tree(fresh), CXmlDocIndexView::Tree(doc));
    // A not-ended element has no content to add to.
    ASSERT_TRUE(doc.IntoElement());
    EXPECT_FALSE(doc.AddElement(L"t"));
    doc.OutOfElement();
    EXPECT_FALSE(doc.AddElement(L"t", nullptr, XML_ADD_CHILD));
    EXPECT_TRUE(doc.AddElement(L"t"));  // after it is fine
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(doc), "");
}

// Random edits on a set of documents: after each one the index must be what
// a fresh parse of the text gives.
TEST(XmlDocAdd, EditsKeepTheIndexEqualToAFreshParse) {
    const wchar_t* starts[] = {
        L"",
        L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        L"<r/>",
        L"<r>\r\n  <a x='1'>t<b/></a>\r\n  <!-- c --><c y=\"&amp;\"></c>\r\n</r>\r\n",
        L"<!DOCTYPE r><r><a><b><c/></b></a><d/></r><!-- tail -->",
    };
    const wchar_t* names[] = {L"a", L"b", L"c", L"r", L"item"};
    const wchar_t* values[] = {L"", L"1", L"\"<&>'", L"\u4E2D \U0001F600", L"]]>"};
    std::mt19937 rng(15);
    int edits = 0;
    for (const wchar_t* start : starts) {
        for (int round = 0; round < 40; ++round) {
            CXmlDoc doc(start);
            std::string trace;
            for (int step = 0; step < 30; ++step) {
                const bool wasIllFormed = CXmlDocIndexView::IllFormed(doc);
                const std::wstring before = doc.GetDocument();
                switch (rng() % 7) {
                    case 0: {
                        const wchar_t* name = rng() % 2 ? names[rng() % 5] : L"";
                        trace += " find(" + testing::PrintToString(std::wstring(name)) + ")";
                        doc.FindElement(name);
                        break;
                    }
                    case 1:
                        trace += " into";
                        doc.IntoElement();
                        break;
                    case 2:
                        trace += " out";
                        doc.OutOfElement();
                        break;
                    case 3: {
                        const wchar_t* name = names[rng() % 5];
                        const wchar_t* value = values[rng() % 5];
                        trace += " set(" + testing::PrintToString(std::wstring(name)) + ")";
                        doc.SetAttribute(name, value);
                        ++edits;
                        break;
                    }
                    default: {
                        std::uint32_t flags = 0;
                        if (rng() % 3 == 0) flags |= XML_ADD_NO_LINES;
                        if (rng() % 3 == 0) flags |= XML_ADD_CHILD;
                        if (rng() % 4 == 0) flags |= XML_ADD_SPACE;
                        if (rng() % 4 == 0) flags |= XML_ADD_CDATA;
                        if (!wasIllFormed && rng() % 8 == 0) flags |= XML_ADD_START_ONLY;
                        const wchar_t* name = names[rng() % 5];
                        const wchar_t* value = rng() % 2 ? values[rng() % 5] : nullptr;
                        trace += " add(" + testing::PrintToString(std::wstring(name)) + ", " +
                                 (value ? testing::PrintToString(std::wstring(value)) : "null") + ", " +
                                 std::to_string(flags) + ")";
                        doc.AddElement(name, value, flags);
                        ++edits;
                    }
                }
                ASSERT_EQ(CXmlDocIndexView::CheckIndex(doc), "")
                    << testing::PrintToString(before) << trace << "\n" << testing::PrintToString(doc.GetDocument());
                CXmlDoc fresh(doc.GetDocument().c_str());
                ASSERT_EQ(CXmlDocIndexView::Tree(fresh), CXmlDocIndexView::Tree(doc))
                    << testing::PrintToString(before) << trace << "\n" << testing::PrintToString(doc.GetDocument());
                ASSERT_EQ(CXmlDocIndexView::IllFormed(fresh), CXmlDocIndexView::IllFormed(doc));
            }
        }
    }
    EXPECT_GT(edits, 2000);
}

// Long names, long tags and deep nesting do not fit small packed fields.
TEST(XmlDocParse, LongNamesLongTagsAndDeepNesting) {
    const std::wstring name(3000, L'n');
    const std::wstring value(5 << 20, L'v');
    const std::wstring text = L"<" + name + L" p=\"" + value + L"\"><c/></" + name + L">";
    CXmlDoc doc(text.c_str());
    ASSERT_TRUE(doc.FindElement(name));
    EXPECT_EQ(doc.GetAttribute(L"p").size(), value.size());
    ASSERT_TRUE(doc.IntoElement());
    EXPECT_TRUE(doc.FindElement(L"c"));
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(doc), "");

    const int depth = 70000;
    std::wstring deep;
    for (int i = 0; i < depth; ++i) deep += L"<d>";
    deep += L"<leaf x=\"1\"/>";
    for (int i = 0; i < depth; ++i) deep += L"</d>";
    CXmlDoc nested;
    ASSERT_TRUE(nested.SetDocument(deep));
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(nested), "");
    int level = 0;
    while (nested.FindElement(L"d") && nested.IntoElement()) ++level;
    EXPECT_EQ(level, depth);
    ASSERT_TRUE(nested.FindElement(L"leaf"));
    EXPECT_EQ(nested.GetAttribute(L"x"), L"1");

    // The same nesting never closed: every element is not ended and all
    // stand side by side, found in one linear pass.
    std::wstring open;
    for (int i = 0; i < depth; ++i) open += L"<d>";
    EXPECT_FALSE(nested.SetDocument(open));
    EXPECT_EQ(CXmlDocIndexView::ElementCount(nested), depth);
    EXPECT_EQ(CXmlDocIndexView::CheckIndex(nested), "");
    EXPECT_EQ(CXmlDocIndexView::Tree(nested).back().depth, 0);
}

TEST(XmlDocFile, AFailedLoadLeavesNothingToNavigate) {
    testdata::TempDir dir;
    CXmlDoc doc(L"<r><a x=\"1\"/><b/></r>");
    ASSERT_TRUE(doc.FindElement(L"r"));
    ASSERT_TRUE(doc.IntoElement());
    ASSERT_TRUE(doc.FindElement(L"a"));
    EXPECT_FALSE(doc.LoadFile(dir.wfile(L"missing.xml")));
    EXPECT_EQ(doc.GetDocument(), L"");
    EXPECT_EQ(doc.GetResultNotes(), L"<file_error msg=\"No such file or directory\" n=\"2\"/>");
    EXPECT_EQ(doc.GetAttribute(L"x"), L"");
    EXPECT_FALSE(doc.FindElement(L"b"));
    EXPECT_FALSE(doc.OutOfElement());
    EXPECT_FALSE(doc.IntoElement());
    EXPECT_EQ(CXmlDocIndexView::ElementCount(doc), 0);
}

TEST(XmlDocFile, SaveAndLoadRoundTrip) {
    testdata::TempDir dir;
    const std::wstring path = dir.wfile(L"doc.xml");
    const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r a=\"\u4E2D\U0001F600\"/>\r\n";
    std::wstring notes;
    std::uint32_t flags = 0;
    ASSERT_TRUE(CXmlDoc::SaveTextToFile(path, text, &notes, &flags));
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(notes, L"<converted_from encoding=\"UTF-8\" length=\"56\"/><write encoding=\"UTF-8\" length=\"51\"/>");
    CXmlDoc doc;
    ASSERT_TRUE(doc.LoadFile(path));
    EXPECT_EQ(doc.GetDocument(), text);
    EXPECT_EQ(doc.GetResultNotes(),
              L"<converted_to encoding=\"UTF-8\" length=\"51\"/><read encoding=\"UTF-8\" length=\"51\"/>");
    ASSERT_TRUE(doc.FindElement(L"r"));
    EXPECT_EQ(doc.GetAttribute(L"a"), L"\u4E2D\U0001F600");

    // A previous UTF-16 document's flags do not decide how the next file reads.
    flags = XDF_UTF16LE_FILE;
    ASSERT_TRUE(CXmlDoc::SaveTextToFile(dir.wfile(L"wide.xml"), L"<w/>", nullptr, &flags));
    ASSERT_TRUE(doc.LoadFile(dir.wfile(L"wide.xml")));
    EXPECT_EQ(doc.Flags() & XDF_UTF16LE_FILE, XDF_UTF16LE_FILE);
    ASSERT_TRUE(doc.LoadFile(path));
    EXPECT_EQ(doc.Flags() & XDF_UTF16LE_FILE, 0u);
    EXPECT_EQ(doc.GetDocument(), text);
}

TEST(XmlDocEncoding, DeclaredEncoding) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"<?xml version=\"1.0\" encoding=\"GB2312\"?><a/>", L"GB2312"},
        {L"<?xml version='1.0' encoding = 'gbk' standalone='yes'?>", L"gbk"},
        {L"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-8\"?>", L"UTF-8"},
        {L"<?xml version=\"1.0\"?><a encoding=\"x\"/>", L""},
        {L"<?xml version=\"1.0\" standalone=\"no\"?>", L""},
        {L"<?xml-stylesheet encoding=\"x\"?>", L""},
        {L"<a/><?xml version=\"1.0\" encoding=\"x\"?>", L""},
        {L"<html><head><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=big5\"></head></html>",
         L"big5"},
        {L"<html><head><title>t</title></head><body><meta http-equiv=\"Content-Type\" "
         L"content=\"text/html; charset=big5\"></body></html>",
         L""},
        {L"", L""},
    };
    for (const auto& [text, encoding] : cases)
        EXPECT_EQ(CXmlDoc::FindDeclaredEncoding(text), encoding) << testing::PrintToString(std::wstring(text));
}
