// XML text files: reading a whole file into wide text and writing wide text
// into a file, with the file's character encoding found from its byte-order
// mark, the encoding its XML declaration names, or a UTF-8 test; and the
// conversions between wide text and the bytes of a code page.
//
// Wide text is std::wstring (one code point per character). UTF-8, UTF-16
// and UTF-32 are converted here; every other code page through iconv, with a
// '?' for a character the code page lacks and the loss reported.
//
// Every step leaves a short note in the result text, as empty XML elements:
// <bom/>, <read encoding="UTF-8" length="42"/>, <file_error msg="..." n="2"/>.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

// Document and file flags shared by CXmlTextFile and CXmlDoc.
enum XmlDocFlags : std::uint32_t {
    XDF_UTF16LE_FILE = 0x1,     // UTF-16 little-endian file (mark FF FE)
    XDF_UTF8_BOM = 0x4,         // UTF-8 file with byte-order mark (EF BB BF)
    XDF_IGNORE_CASE = 0x8,      // names compare without regard to ASCII case
    XDF_READ_FILE = 0x10,       // a file opened for reading
    XDF_WRITE_FILE = 0x20,      // a file opened for writing
    XDF_APPEND_FILE = 0x40,     // a file opened for appending
    XDF_UTF16BE_FILE = 0x80,    // UTF-16 big-endian file (mark FE FF)
    XDF_ILL_FORMED = 0x800000,  // the document is not well formed
};

// The code page of an encoding name: 0 for the empty name (the system's
// code page), 65005 for exactly "UTF-32" (UTF-32 in the machine's byte
// order), -1 for a name of 100 characters or more and for a name that is not
// in the table; otherwise the name is lowered (A to Z only) and looked up in
// a table of 365 names ("gb2312" and "gbk" give 936, "utf-32" 12000, ...).
int GetCodePage(std::wstring_view name);

constexpr int kCodePageUtf32 = 65005;

// Appends one note to a result text: <name a1="v1" n1="123" offset2="456"/>.
// The text attribute and the numbers are optional (empty name / absent).
// Notes are only added while the result text is shorter than 1000
// characters.
struct XmlNote {
    XmlNote(const wchar_t* n, const wchar_t* ta = nullptr, std::wstring t = {}, const wchar_t* na = nullptr,
            long long num = 0, bool has2 = false, long long o2 = 0)
        : name(n), textAttr(ta), text(std::move(t)), numAttr(na), number(num), hasOffset2(has2), offset2(o2) {}
    const wchar_t* name;
    const wchar_t* textAttr = nullptr;  // "type", "encoding", "msg", "tagname"
    std::wstring text;
    const wchar_t* numAttr = nullptr;  // "n", "count", "length", "offset"
    long long number = 0;
    bool hasOffset2 = false;
    long long offset2 = 0;
};
void AddXmlNote(std::wstring& result, const XmlNote& note);

// One conversion between wide text and the bytes of an encoding, or between
// the bytes of two encodings (through wide text).
//
// Names go through GetCodePage. A name the table does not know, and a code
// page that has no converter on this system (HZ, ISCII, ...), count as the
// system's code page. Bytes that are not valid in the source encoding become
// U+FFFD; characters the target lacks become '?'. Either sets the loss flag.
class CXmlTextEncoding {
public:
    // Source: bytes in the encoding named `sourceName`.
    CXmlTextEncoding(std::wstring_view sourceName, std::string_view bytes);
    // Source: wide text.
    explicit CXmlTextEncoding(std::wstring_view text);

    // Into wide text; returns the number of characters.
    std::size_t Convert(std::wstring& out);
    // Into the bytes of `targetName`; returns the number of bytes.
    std::size_t Convert(std::string& out, std::wstring_view targetName);

    // A character had no equivalent, or a byte sequence was not valid, in
    // the last conversion.
    bool ConversionLoss() const { return loss_; }
    const std::wstring& SourceName() const { return sourceName_; }
    const std::wstring& TargetName() const { return targetName_; }

private:
    std::wstring targetName_;
    std::wstring sourceName_;
    bool wideSource_ = false;
    std::string_view bytes_;
    std::wstring_view text_;
    bool loss_ = false;
};

// A text file opened for reading, writing or appending (the flags say
// which), read or written as a whole.
//
// Writing (not appending) goes to a temporary file beside the target, which
// Close flushes to the disk and renames over the target: a write or a close
// that fails leaves the previous file as it was.
class CXmlTextFile {
public:
    explicit CXmlTextFile(std::uint32_t flags) : flags_(flags) {}
    ~CXmlTextFile();
    CXmlTextFile(const CXmlTextFile&) = delete;
    CXmlTextFile& operator=(const CXmlTextFile&) = delete;

    // Opens by the flags ("rb" for XDF_READ_FILE, "ab" for XDF_APPEND_FILE,
    // else "wb") and finds or writes the byte-order mark. Reading also takes
    // the encoding from the declaration of the first bytes, or UTF-8 when
    // the file starts with '<'.
    bool Open(const std::wstring& path);
    // Reads the rest of the file and converts it into `text`.
    bool ReadText(std::wstring& text);
    // Converts `text` (the first `length` characters; -1 = all) into the
    // file's encoding and writes it.
    bool WriteText(std::wstring_view text, long long length = -1);
    // Closes the stream; for a written file, syncs and renames it into
    // place. A failure adds a file-error note and gives false.
    bool Close();

    std::uint32_t Flags() const { return flags_; }
    const std::wstring& Encoding() const { return encoding_; }
    void SetEncoding(const std::wstring& encoding) { encoding_ = encoding; }
    const std::wstring& Result() const { return result_; }

private:
    void FileErrorNote(int error);

    std::FILE* file_ = nullptr;
    std::uint32_t flags_;
    long long fileSize_ = 0;
    long long offset_ = 0;  // bytes of the file consumed or written
    int unitSize_ = 1;      // 2 for UTF-16 files
    bool writeFailed_ = false;
    std::wstring result_;
    std::wstring encoding_;
    std::wstring path_;
    std::wstring tempPath_;  // the temporary file a write goes to
};
