// One XML document held as a single wide text plus an index of its elements.
// A caller walks the elements forward (FindElement, IntoElement,
// OutOfElement), reads and sets attributes, adds elements and takes the text
// back. Every change edits the text in place and shifts the index; nothing
// is rebuilt from objects. The configuration file is written and read with
// it.
//
// The parser is lenient: it checks the tag structure (start and end tags
// that match, one root element, nodes that are terminated) but not DTDs,
// entity declarations or the finer points of names and attribute syntax.
// What it finds goes into the result text as notes (empty XML elements, see
// XmlTextFile.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "settings/XmlTextFile.h"

// Flags of CXmlDoc::AddElement.
enum XmlAddFlags : std::uint32_t {
    XML_ADD_CDATA = 0x1,         // the value as a CDATA section
    XML_ADD_NO_LINES = 0x2,      // no line breaks around the new element
    XML_ADD_SPACE = 0x4,         // "<name />" instead of "<name/>"
    XML_ADD_START_ONLY = 0x10,   // a start tag without end tag
    XML_ADD_CHILD = 0x4000,      // as the last child of the current element
};

// Flags of CXmlDoc::EscapeXmlText and CXmlDoc::UnescapeXmlText.
enum XmlEscapeFlags : std::uint32_t {
    XML_ESCAPE_KEEP_REFS = 0x8,  // an '&' that starts a well-formed reference stays
    XML_ESCAPE_QUOTES = 0x100,   // '"' and '\'' too (attribute values)
    XML_TRIM = 0x100,            // unescaping: trim white space at both ends
    XML_COLLAPSE = 0x200,        // unescaping: runs of white space become one space
};

// One element of the index. Offsets and lengths count characters of the
// document text; links are record numbers (0 = none, record 0 stands for the
// document itself).
struct XmlElemPos {
    std::int32_t start = 0;        // offset of the element's '<'
    std::int32_t length = 0;       // through the end of its end tag (or its empty tag)
    std::int32_t startTagLen = 0;  // the start tag (or the whole empty tag)
    std::int32_t endTagLen = 0;    // 0 for an empty or a not-ended element
    std::uint32_t flags = 0;       // XEP_NOT_ENDED; XDF_ILL_FORMED on record 0
    std::int32_t parent = 0;
    std::int32_t firstChild = 0;
    std::int32_t next = 0;  // 0 after the last child
    std::int32_t prev = 0;  // the first child's prev is the last child
};

constexpr std::uint32_t XEP_NOT_ENDED = 0x100000;  // a start tag without end tag

// The index: records in segments of 65536, so that a growing index never
// moves the segments it already filled.
class XmlPosTree {
public:
    static constexpr int kSegmentBits = 16;
    static constexpr int kSegmentSize = 1 << kSegmentBits;

    XmlElemPos& operator[](std::int32_t i) { return segments_[i >> kSegmentBits][i & (kSegmentSize - 1)]; }
    const XmlElemPos& operator[](std::int32_t i) const {
        return segments_[i >> kSegmentBits][i & (kSegmentSize - 1)];
    }
    std::int32_t Capacity() const { return capacity_; }
    // Makes room for `records` records, keeping those there are.
    void Reserve(std::int32_t records);
    void Clear();

private:
    std::vector<std::unique_ptr<XmlElemPos[]>> segments_;
    std::vector<std::int32_t> segmentSizes_;
    std::int32_t capacity_ = 0;
};

class CXmlDoc {
public:
    CXmlDoc();
    explicit CXmlDoc(const wchar_t* text);

    // Replaces the text (null = empty), clears the result text and parses.
    // True when the text is a well-formed document with one root element.
    bool SetDocument(const wchar_t* text);
    bool SetDocument(std::wstring_view text);
    const std::wstring& GetDocument() const { return doc_; }
    const std::wstring& GetResultNotes() const { return result_; }

    // Reads a whole file (encoding from its mark or declaration, see
    // CXmlTextFile) and parses it. False when the file cannot be read or is
    // not a well-formed document; the document is then what could be read
    // (nothing when the file could not be opened) with a fresh index.
    bool LoadFile(const std::wstring& path);
    // Writes `text` into a file, in the encoding the text declares (UTF-8
    // when it declares none), with the byte-order mark the flags ask for.
    // The notes go to *result and the file flags to *flags (each may be null).
    static bool SaveTextToFile(const std::wstring& path, std::wstring_view text, std::wstring* result = nullptr,
                               std::uint32_t* flags = nullptr);

    // The next element named `name` after the current one (the first child
    // of the parent when there is no current element), never looking back.
    // An empty name matches any element. False leaves the position as it was.
    bool FindElement(std::wstring_view name = {});
    // Steps into the current element (its remembered child becomes current).
    bool IntoElement();
    // Steps out to the parent, which becomes current.
    bool OutOfElement();

    // The current element's name; empty when there is none.
    std::wstring GetTagName() const;
    // The unescaped value of an attribute of the current element; empty when
    // there is no current element or no such attribute.
    std::wstring GetAttribute(std::wstring_view name) const;
    // Sets an attribute of the current element: an existing one keeps its
    // place and gets the new value in double quotes; a new one goes after
    // the last attribute. The value is escaped (quotes included). False
    // without a current element or for a name that is no attribute name.
    bool SetAttribute(std::wstring_view name, std::wstring_view value, std::uint32_t flags = 0);
    // Adds an element after the current one (or as the last child of the
    // parent when there is none) and makes it current. Without a value it is
    // an empty tag; each new element stands on its own line ("\r\n"), an
    // empty parent is opened around it. False for a name that is no element
    // name, for a child of a not-ended element, and for a start tag alone
    // (XML_ADD_START_ONLY) named like its parent.
    bool AddElement(std::wstring_view name, const wchar_t* value = nullptr, std::uint32_t flags = 0);

    static std::wstring EscapeXmlText(std::wstring_view text, std::uint32_t flags = 0);
    static std::wstring UnescapeXmlText(std::wstring_view text, std::uint32_t flags = 0);
    // The encoding named by the XML declaration, or by an HTML Content-Type
    // meta element in the head; empty when there is none.
    static std::wstring FindDeclaredEncoding(std::wstring_view text);

    std::uint32_t Flags() const { return flags_; }
    void SetFlags(std::uint32_t flags) { flags_ = flags; }

private:
    friend struct CXmlDocIndexView;  // tests and fuzz targets look at the index

    bool Parse();
    // No text, no index (after running out of memory).
    void Empty();
    void ResetNavigation();
    // The index grows by half when full (a failure throws before anything changes).
    void RoomForOneMore();
    std::wstring_view NameAt(std::int32_t start) const;
    bool NameMatches(std::int32_t record, std::wstring_view name) const;
    std::int32_t NewRecord();
    void LinkLastChild(std::int32_t parent, std::int32_t record);
    void LinkAfter(std::int32_t after, std::int32_t record);
    void MarkNotEnded(std::int32_t record, std::int32_t where);
    // Replaces doc_[from, to) by `text` and moves every element that starts
    // at or after `to`; `container` and its ancestors grow by the change.
    void ReplaceText(std::int32_t from, std::int32_t to, std::wstring_view text, std::int32_t container);
    void Note(const XmlNote& note) { AddXmlNote(result_, note); }

    std::wstring doc_;
    std::wstring result_;
    std::int32_t parent_ = 0;
    std::int32_t current_ = 0;
    std::int32_t child_ = 0;
    std::int32_t free_ = 1;  // the next unused record
    std::int32_t nodeType_ = 0;  // 1 when the current position is an element
    std::uint32_t flags_ = 0;
    XmlPosTree index_;
};
