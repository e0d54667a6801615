#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "settings/XmlDoc.h"
#include "settings/XmlTextFile.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"

namespace {

// A file's bytes ("<missing>" when it cannot be read), and writing them.
std::string ReadBytes(const std::string& path) { return testdata::ReadFileText(FromUtf8(path)); }
bool WriteBytes(const std::string& path, const std::string& bytes) {
    return files::WriteAllAtomic(FromUtf8(path), bytes.data(), bytes.size());
}

// The bytes iconv(3) itself makes of `text` in `encoding`; characters it
// cannot convert become `replacement`. Each character is converted on its
// own so that one refused character does not stop the rest.
std::string IconvEncode(const std::wstring& text, const char* encoding, const std::string& replacement, bool* lost) {
    iconv_t cd = iconv_open(encoding, "WCHAR_T");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << encoding;
    std::string out;
    *lost = false;
    char buffer[64];
    for (wchar_t c : text) {
        char* in = reinterpret_cast<char*>(&c);
        std::size_t inLeft = sizeof(c);
        char* dst = buffer;
        std::size_t room = sizeof(buffer);
        if (iconv(cd, &in, &inLeft, &dst, &room) == static_cast<std::size_t>(-1)) {
            *lost = true;
            dst = buffer;
            room = sizeof(buffer);
            iconv(cd, nullptr, nullptr, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            out += replacement;
            continue;
        }
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
    }
    char* dst = buffer;
    std::size_t room = sizeof(buffer);
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    iconv_close(cd);
    return out;
}

std::wstring IconvDecode(const std::string& bytes, const char* encoding) {
    iconv_t cd = iconv_open("WCHAR_T", encoding);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << encoding;
    std::wstring out(bytes.size() + 4, L'\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* dst = reinterpret_cast<char*>(out.data());
    std::size_t room = out.size() * sizeof(wchar_t);
    EXPECT_NE(iconv(cd, &in, &inLeft, &dst, &room), static_cast<std::size_t>(-1)) << encoding;
    iconv_close(cd);
    out.resize(out.size() - room / sizeof(wchar_t));
    return out;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// Reads a file the way CXmlDoc::LoadFile does.
struct ReadResult {
    bool ok = false;
    std::wstring text;
    std::wstring notes;
    std::wstring encoding;
    std::uint32_t flags = 0;
};
ReadResult ReadFile(const std::wstring& path) {
    ReadResult r;
    CXmlTextFile file(XDF_READ_FILE);
    r.ok = file.Open(path) && file.ReadText(r.text);
    file.Close();
    r.notes = file.Result();
    r.encoding = file.Encoding();
    r.flags = file.Flags();
    return r;
}

}  // namespace

TEST(XmlCodePage, Names) {
    const std::pair<std::wstring, int> cases[] = {
        {L"", 0},
        {L"UTF-32", 65005},
        {L"utf-32", 12000},
        {L"Utf-32", 12000},
        {L"UTF-8", 65001},
        {L"GB2312", 936},
        {L"gb2312", 936},
        {L"GBK", 936},
        {L"GB18030", 54936},
        {L"Big5", 950},
        {L"Shift_JIS", 932},
        {L"shifft_jis", 932},
        {L"EUC-KR", 51949},
        {L"hz-gb-2312", 52936},
        {L"cp1256 ", 1256},
        {L"cp1256", 1256},
        {L"cp500", 775},
        {L"ISO-8859-8-I", 38598},
        {L"x-iscii-pa", 57011},
        {L"utf-16", 1200},
        {L"unicodeFFFE", 1201},
        {L"latin9", 28605},
        {L"\u00C9BCDIC", -1},  // only A to Z are lowered
        {L"no-such-encoding", -1},
        {std::wstring(99, L'x'), -1},
        {L"utf-8" + std::wstring(95, L' '), -1},
        {std::wstring(L"extended_unix_code_packed_format_for_japanese"), 20932},
    };
    for (const auto& [name, codePage] : cases) EXPECT_EQ(GetCodePage(name), codePage) << ToUtf8(name);
}

// Our conversions against iconv(3) called directly, both ways, including
// characters the code page lacks.
TEST(XmlTextEncoding, MatchesIconv) {
    const std::wstring chinese = L"<a t=\"中文 簡體 繁體 ·€\"/>\r\n";
    const std::wstring japanese = L"日本語テキスト、ｶﾀｶﾅ";
    const std::wstring rare = L"\U00020000\U0001F600\u0E01";  // outside the BMP, Thai
    struct Case {
        const wchar_t* name;
        const char* iconvName;
        std::wstring text;
        bool lossExpected;
    };
    const Case cases[] = {
        {L"GB18030", "GB18030", chinese + rare, false},
        {L"gbk", "GBK", chinese + rare, true},
        {L"GB2312", "GBK", chinese, false},
        {L"big5", "CP950", chinese + japanese, true},
        {L"Shift_JIS", "CP932", japanese + chinese, true},
        {L"euc-jp", "EUC-JP", japanese, false},
        {L"UTF-16LE", "UTF-16LE", chinese + rare, false},
        {L"UTF-16BE", "UTF-16BE", chinese + rare, false},
        {L"utf-32", "UTF-32LE", chinese + rare, false},
        {L"UTF-32", "UTF-32LE", chinese + rare, false},
        {L"utf-32be", "UTF-32BE", chinese + rare, false},
        {L"UTF-8", "UTF-8", chinese + rare, false},
        {L"windows-1252", "CP1252", L"caf\u00e9 \u20ac \u4e2d", true},
        {L"koi8-r", "KOI8-R", L"\u041f\u0440\u0438\u0432\u0435\u0442 \u00e9", true},
        {L"iso-2022-jp", "ISO-2022-JP", L"a\u65e5\u0e01\u65e5b", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.name));
        bool iconvLost = false;
        const std::string expected = IconvEncode(c.text, c.iconvName, "?", &iconvLost);
        EXPECT_EQ(iconvLost, c.lossExpected);

        CXmlTextEncoding encode(c.text);
        std::string bytes;
        EXPECT_EQ(encode.Convert(bytes, c.name), expected.size());
        EXPECT_EQ(bytes, expected);
        EXPECT_EQ(encode.ConversionLoss(), c.lossExpected);

        CXmlTextEncoding decode(c.name, expected);
        std::wstring back;
        const std::size_t length = decode.Convert(back);
        EXPECT_EQ(length, back.size());
        EXPECT_EQ(back, IconvDecode(expected, c.iconvName));
        EXPECT_FALSE(decode.ConversionLoss());
        if (!c.lossExpected) {
            EXPECT_EQ(back, c.text);
        }

        // Bytes to bytes goes through wide text.
        CXmlTextEncoding toUtf8(c.name, expected);
        std::string utf8;
        toUtf8.Convert(utf8, L"UTF-8");
        EXPECT_EQ(utf8, ToUtf8(back));
    }
}

TEST(XmlTextEncoding, InvalidInputIsReplacedAndReported) {
    struct Case {
        const wchar_t* name;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {L"UTF-8", "a\xC0\xAF" "b", L"a\uFFFD\uFFFDb"},          // over-long '/'
        {L"UTF-8", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},      // a surrogate
        {L"UTF-16LE", std::string("a\0\0\xD8" "b", 5), L"a\uFFFD\uFFFD"},  // lone surrogate, odd byte
        {L"UTF-16BE", std::string("\xDC\x00\x00" "a", 4), L"\uFFFDa"},
        {L"utf-32", std::string("\x00\x00\x11\x00" "a\0\0\0" "b", 9), L"\uFFFDa\uFFFD"},
        {L"gbk", "a\x81", L"a\uFFFD"},
    };
    for (const auto& c : cases) {
        CXmlTextEncoding e(c.name, c.bytes);
        std::wstring out;
        e.Convert(out);
        EXPECT_EQ(out, c.text) << ToUtf8(c.name);
        EXPECT_TRUE(e.ConversionLoss()) << ToUtf8(c.name);
    }
    // Wide values that are no character.
    const std::wstring bad{L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)};
    const std::pair<const wchar_t*, std::string> targets[] = {
        {L"UTF-8", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {L"UTF-16LE", std::string("a\0\xFD\xFF\xFD\xFF", 6)},
        {L"UTF-32", std::string("a\0\0\0?\0\0\0?\0\0\0", 12)},
        {L"gbk", "a??"},
    };
    for (const auto& [target, bytes] : targets) {
        CXmlTextEncoding e(bad);
        std::string out;
        e.Convert(out, target);
        EXPECT_EQ(out, bytes) << ToUtf8(target);
        EXPECT_TRUE(e.ConversionLoss()) << ToUtf8(target);
    }
}

TEST(XmlTextFile, MarksDeclarationsAndDetection) {
    testdata::TempDir dir;
    const std::wstring text = L"<?xml version=\"1.0\" encoding=\"@\"?><a t=\"中文\U0001F600\"/>";
    bool lost = false;
    struct Case {
        const char* label;
        std::string bytes;
        std::wstring text;
        std::wstring encoding;
        std::uint32_t flags;
        std::vector<std::wstring> notes;
    };
    auto declared = [&](const wchar_t* name) {
        std::wstring t = text;
        t.replace(t.find(L'@'), 1, name);
        return t;
    };
    auto withoutRare = [](std::wstring t) {
        t.erase(t.find(L'\U0001F600'), 1);
        return t;
    };
    const Case cases[] = {
        {"UTF-8 mark", "\xEF\xBB\xBF" + ToUtf8(declared(L"UTF-8")), declared(L"UTF-8"), L"UTF-8", XDF_UTF8_BOM,
         {L"<bom/>", L"<read encoding=\"UTF-8\" length=\"50\"/>"}},
        {"UTF-16LE mark", "\xFF\xFE" + IconvEncode(declared(L"UTF-16"), "UTF-16LE", "?", &lost), declared(L"UTF-16"),
         L"UTF-16LE", XDF_UTF16LE_FILE, {L"<bom/>"}},
        {"UTF-16BE mark", "\xFE\xFF" + IconvEncode(declared(L"UTF-16"), "UTF-16BE", "?", &lost), declared(L"UTF-16"),
         L"UTF-16BE", XDF_UTF16BE_FILE, {L"<bom/>", L"<endian_swap/>"}},
        {"GB2312", IconvEncode(withoutRare(declared(L"GB2312")), "GBK", "?", &lost), withoutRare(declared(L"GB2312")),
         L"GB2312", 0, {L"<converted_to encoding=\"GB2312\""}},
        {"gb2312", IconvEncode(withoutRare(declared(L"gb2312")), "GBK", "?", &lost), withoutRare(declared(L"gb2312")),
         L"gb2312", 0, {}},
        {"gbk", IconvEncode(withoutRare(declared(L"gbk")), "GBK", "?", &lost), withoutRare(declared(L"gbk")), L"gbk", 0,
         {}},
        {"gb18030", IconvEncode(declared(L"gb18030"), "GB18030", "?", &lost), declared(L"gb18030"), L"gb18030", 0, {}},
        {"no declaration, starts with <", ToUtf8(L"<a t=\"中\"/>"), L"<a t=\"中\"/>", L"UTF-8", 0,
         {L"<read encoding=\"UTF-8\" length=\"10\"/>"}},
        {"no declaration, valid UTF-8", ToUtf8(L" <a t=\"中\"/>"), L" <a t=\"中\"/>", L"UTF-8", 0,
         {L"<read encoding=\"UTF-8\"/><utf8_detection/>"}},
        // GBK bytes D6 D0: a lead byte and a byte with its high bit set, which
        // is still no UTF-8; the system's code page (UTF-8 here) reads them.
        {"no declaration, GBK bytes", " \xD6\xD0\xCE\xC4", L" \uFFFD\uFFFD\uFFFD\uFFFD", L"", 0,
         {L"<utf8_detection/>", L"<conversion_loss/>", L"<read encoding=\"ANSI\" length=\"5\"/>"}},
        {"nulls", std::string("<a>\0x\0</a>", 10), L"<a>x</a>", L"UTF-8", 0, {L"<nulls_removed count=\"2\"/>"}},
        {"UTF-16 odd length", std::string("\xFF\xFE<\0a\0/\0>\0!", 11), L"<a/>\uFFFD", L"UTF-16LE", XDF_UTF16LE_FILE,
         {L"<conversion_loss/>"}},
        {"empty", "", L"", L"UTF-8", 0, {L"<utf8_detection/>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.file("in.xml");
        WriteBytes(path, c.bytes);
        const ReadResult r = ReadFile(FromUtf8(path));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.encoding, c.encoding);
        EXPECT_EQ(r.flags & (XDF_UTF8_BOM | XDF_UTF16LE_FILE | XDF_UTF16BE_FILE), c.flags);
        for (const auto& note : c.notes) EXPECT_TRUE(Contains(r.notes, note)) << ToUtf8(r.notes);
    }
}

TEST(XmlTextFile, WritesInTheDeclaredEncodingWithTheMarkTheFlagsAskFor) {
    testdata::TempDir dir;
    const std::wstring utf8Doc = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><a t=\"中\"/>\r\n";
    const std::wstring gbDoc = L"<?xml version=\"1.0\" encoding=\"gb2312\"?><a t=\"中\u0E01\"/>";
    const std::wstring plain = L"<a t=\"\U0001F600\"/>";
    bool lost = false;
    struct Case {
        const char* label;
        std::wstring text;
        std::uint32_t flags;
        std::string bytes;
        bool lossNote;
    };
    const Case cases[] = {
        {"UTF-8, no mark", utf8Doc, 0, ToUtf8(utf8Doc), false},
        {"UTF-8 with mark", utf8Doc, XDF_UTF8_BOM, "\xEF\xBB\xBF" + ToUtf8(utf8Doc), false},
        {"UTF-16LE", plain, XDF_UTF16LE_FILE, "\xFF\xFE" + IconvEncode(plain, "UTF-16LE", "?", &lost), false},
        {"UTF-16BE", plain, XDF_UTF16BE_FILE, "\xFE\xFF" + IconvEncode(plain, "UTF-16BE", "?", &lost), false},
        {"declared gb2312", gbDoc, 0, IconvEncode(gbDoc, "GBK", "?", &lost), true},
        {"no declaration", plain, 0, ToUtf8(plain), false},
        // A name the table lacks, and one without a converter here, count as
        // the system's code page (UTF-8 here): the text is written, not lost.
        {"unknown encoding", L"<?xml version=\"1.0\" encoding=\"no-such\"?><a t=\"中\"/>", 0,
         ToUtf8(L"<?xml version=\"1.0\" encoding=\"no-such\"?><a t=\"中\"/>"), false},
        {"encoding without converter", L"<?xml version=\"1.0\" encoding=\"hz-gb-2312\"?><a t=\"中\"/>", 0,
         ToUtf8(L"<?xml version=\"1.0\" encoding=\"hz-gb-2312\"?><a t=\"中\"/>"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.file("out.xml");
        std::wstring notes;
        std::uint32_t flags = c.flags;
        ASSERT_TRUE(CXmlDoc::SaveTextToFile(FromUtf8(path), c.text, &notes, &flags));
        EXPECT_EQ(ReadBytes(path), c.bytes);
        EXPECT_EQ(Contains(notes, L"<conversion_loss/>"), c.lossNote) << ToUtf8(notes);
        EXPECT_EQ(flags, c.flags);
        // And it reads back.
        CXmlDoc doc;
        EXPECT_TRUE(doc.LoadFile(FromUtf8(path))) << ToUtf8(doc.GetResultNotes());
        if (!c.lossNote) {
            EXPECT_EQ(doc.GetDocument(), c.text);
        }
    }
}

TEST(XmlTextFile, FileErrorsCarryTheSystemMessage) {
    testdata::TempDir dir;
    ReadResult r = ReadFile(dir.wfile(L"missing.xml"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.notes, L"<file_error msg=\"" + FromUtf8(std::strerror(ENOENT)) + L"\" n=\"" +
                           std::to_wstring(ENOENT) + L"\"/>");
    // A folder opens but cannot be read.
    r = ReadFile(dir.wpath());
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(Contains(r.notes, L"n=\"" + std::to_wstring(EISDIR) + L"\"")) << ToUtf8(r.notes);

    std::wstring notes;
    EXPECT_FALSE(CXmlDoc::SaveTextToFile(dir.wfile(L"no/such/folder/x.xml"), L"<a/>", &notes));
    EXPECT_TRUE(Contains(notes, L"<file_error msg=\"No such file or directory\" n=\"2\"/>")) << ToUtf8(notes);
}

namespace {

// Runs `body` in a child process and returns its exit status (or -1 when it
// did not exit normally).
template <class Body>
int InChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Listing(const testdata::TempDir& dir) {
    std::vector<files::DirEntry> entries;
    files::ListDirectory(dir.wpath(), entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(ToUtf8(e.name));
    return names;
}

}  // namespace

// A write that fails half-way (here: the file size limit, as a full disk
// would) leaves the previous file as it was and no temporary file behind.
TEST(XmlTextFile, AFailedWriteKeepsThePreviousFile) {
    testdata::TempDir dir;
    const std::string path = dir.file("config.xml");
    const std::string before = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><config/>\r\n";
    WriteBytes(path, before);
    const std::wstring big = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><config a=\"" + std::wstring(200000, L'x') +
                             L"\"/>";
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::wstring notes;
        const bool ok = CXmlDoc::SaveTextToFile(FromUtf8(path), big, &notes);
        const bool noted = notes.find(L"n=\"" + std::to_wstring(EFBIG) + L"\"") != std::wstring::npos;
        return ok ? 1 : (noted ? 0 : 2);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"config.xml"});
}

TEST(XmlTextFile, AReadOnlyFolderKeepsThePreviousFile) {
    testdata::TempDir dir;
    const std::string path = dir.file("config.xml");
    WriteBytes(path, "old");
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    // Root may write anywhere: the save runs as an ordinary user then.
    const int status = InChild([&] {
        if (geteuid() == 0 && setuid(65534) != 0) return 3;
        std::wstring notes;
        const bool ok = CXmlDoc::SaveTextToFile(FromUtf8(path), L"<a/>", &notes);
        const bool noted = notes.find(L"n=\"" + std::to_wstring(EACCES) + L"\"") != std::wstring::npos;
        return ok ? 1 : (noted ? 0 : 2);
    });
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), "old");
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"config.xml"});
}
