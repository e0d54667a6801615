// Fuzz target: the XML document class. The input is a document, optionally
// followed by two zero bytes and a script of navigation and edits. After
// every edit the index must agree with itself and the text; on a document
// that was well formed it must equal what a fresh parse of the text gives,
// and an attribute just set must read back as set. Escaping and unescaping
// must give back any text.
//
// One exception to the fresh parse: an end tag that closes nothing is
// skipped and leaves the document well formed, so a start tag added alone
// (XML_ADD_START_ONLY) before such an end tag of its name stays not ended in
// the index while a fresh parse of the text pairs the two. From such an edit
// on, the index is still checked against itself and the text, not against a
// fresh parse.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/core/Strings.h"
#include "settings/XmlDoc.h"
#include "settings/XmlDocIndexView.h"
#include "settings/XmlTextFile.h"

namespace {

const wchar_t* const kNames[] = {L"", L"a", L"b", L"config", L"setting", L"x:y", L"\u4E2D"};
const wchar_t* const kValues[] = {L"", L"1", L"\"&<>'", L"]]>", L"&amp;&#x4E2D;", L"\u4E2D\U0001F600", L"a b\r\nc"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view script;
    if (const std::size_t cut = input.find(std::string_view("\0\0", 2)); cut != std::string_view::npos) {
        script = input.substr(cut + 2);
        input = input.substr(0, cut);
    }
    // Odd first byte: the document is UTF-16 (little-endian) after it.
    std::wstring text;
    if (!input.empty() && (static_cast<unsigned char>(input[0]) & 0x81) == 0x81) {
        CXmlTextEncoding(L"UTF-16LE", input.substr(1)).Convert(text);
    } else {
        text = FromUtf8(input);
    }

    CHECK(CXmlDoc::UnescapeXmlText(CXmlDoc::EscapeXmlText(text, XML_ESCAPE_QUOTES)) == text);
    CXmlDoc::EscapeXmlText(text, XML_ESCAPE_KEEP_REFS);
    CXmlDoc::UnescapeXmlText(text, XML_TRIM | XML_COLLAPSE);
    CXmlDoc::FindDeclaredEncoding(text);

    CXmlDoc doc;
    doc.SetDocument(text);
    CHECK(CXmlDocIndexView::CheckIndex(doc).empty());
    // Notes stop at 1000 characters: a full list may have left one out.
    const std::wstring& notes = doc.GetResultNotes();
    const bool loneEndTag = notes.find(L"<lone_end_tag ") != std::wstring::npos || notes.size() >= 1000;
    bool reparsePairsLoneEndTag = false;

    // Without a script, one made from the input.
    std::string made;
    if (script.empty()) {
        std::minstd_rand rng(static_cast<unsigned>(std::hash<std::string_view>{}(input)));
        for (int i = 0; i < 48; ++i) made.push_back(static_cast<char>(rng()));
        script = made;
    }
    for (std::size_t i = 0; i + 2 < script.size() && i < 3 * 64; i += 3) {
        const auto op = static_cast<unsigned char>(script[i]);
        const auto a = static_cast<unsigned char>(script[i + 1]);
        const auto b = static_cast<unsigned char>(script[i + 2]);
        const wchar_t* name = kNames[a % std::size(kNames)];
        const wchar_t* value = kValues[b % std::size(kValues)];
        const bool wellFormedBefore = !CXmlDocIndexView::IllFormed(doc);
        bool edited = false;
        switch (op % 6) {
            case 0: doc.FindElement(name); break;
            case 1: doc.IntoElement(); break;
            case 2: doc.OutOfElement(); break;
            case 3:
                doc.GetAttribute(name);
                break;
            case 4:
                if (doc.SetAttribute(name, value)) {
                    CHECK(doc.GetAttribute(name) == value);
                    edited = true;
                }
                break;
            default: {
                std::uint32_t flags = (op >> 3) & (XML_ADD_CDATA | XML_ADD_NO_LINES | XML_ADD_SPACE);
                if (op & 0x80) flags |= XML_ADD_CHILD;
                if ((b & 0x80) && wellFormedBefore) flags |= XML_ADD_START_ONLY;
                edited = doc.AddElement(name, (b & 0x40) ? value : nullptr, flags);
                if (edited) CHECK(doc.GetTagName() == name);
                if (edited && loneEndTag && (flags & XML_ADD_START_ONLY)) reparsePairsLoneEndTag = true;
                break;
            }
        }
        if (!edited) continue;
        CHECK(CXmlDocIndexView::CheckIndex(doc).empty());
        if (wellFormedBefore && !reparsePairsLoneEndTag) {
            CXmlDoc fresh;
            fresh.SetDocument(doc.GetDocument());
            CHECK(CXmlDocIndexView::Tree(fresh) == CXmlDocIndexView::Tree(doc));
            CHECK(CXmlDocIndexView::IllFormed(fresh) == CXmlDocIndexView::IllFormed(doc));
        }
    }
    return 0;
}
