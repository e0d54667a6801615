#include "settings/XmlTextFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/core/CodePages.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "settings/XmlDoc.h"

namespace {

struct CodePageNameEntry {
    const wchar_t* name;
    int codePage;
};

// Every encoding name the program accepts, in small letters, with its code
// page (Windows numbering).
constexpr CodePageNameEntry kCodePageNames[] = {
    {L"ucs-2le", 1200}, {L"utf-16", 1200}, {L"utf16le", 1200}, {L"utf-16le", 1200},
    {L"cp1200", 1200}, {L"ucs-2", 1200}, {L"unicode", 1200}, {L"utf16", 1200}, {L"ucs-2be", 1201},
    {L"utf16be", 1201}, {L"utf-16be", 1201}, {L"unicodefffe", 1201}, {L"cp1201", 1201},
    {L"utf-32", 12000}, {L"utf32le", 12000}, {L"utf-32le", 12000}, {L"utf32", 12000},
    {L"cp12000", 12000}, {L"utf32be", 12001}, {L"utf-32be", 12001}, {L"cp12001", 12001},
    {L"unicode-1-1-utf-7", 65000}, {L"x-unicode-2-0-utf-7", 65000}, {L"csunicode11utf7", 65000},
    {L"utf-7", 65000}, {L"unicode-1-1-utf-8", 65001}, {L"unicode-2-0-utf-8", 65001},
    {L"x-unicode-2-0-utf-8", 65001}, {L"utf8", 65001}, {L"utf-8", 65001}, {L"cp65001", 65001},
    {L"gb_2312-80", 936}, {L"gb231280", 936}, {L"windows-936", 936}, {L"cp936", 936},
    {L"csiso58gb231280", 936}, {L"ms936", 936}, {L"gb2312-80", 936}, {L"gb2312", 936},
    {L"csgb231280", 936}, {L"chinese", 936}, {L"iso-ir-58", 936}, {L"cn-gb", 936},
    {L"csgb2312", 936}, {L"gbk", 936}, {L"iso-4873:1986", 54936}, {L"gb18030", 54936},
    {L"euc-cn", 51936}, {L"x-euc-cn", 51936}, {L"hz-gb-2312", 52936}, {L"big5-hkscs", 950},
    {L"big5", 950}, {L"cp950", 950}, {L"x-x-big5", 950}, {L"csbig5", 950}, {L"cn-big5", 950},
    {L"x-chinese-cns", 20000}, {L"x-chinese_cns", 20000}, {L"x_chinese-eten", 20002},
    {L"x-chinese-eten", 20002}, {L"x-cp20936", 20936}, {L"x-ms-cp932", 932}, {L"shift_jis", 932},
    {L"sjis-win", 932}, {L"windows-932", 932}, {L"cp932", 932}, {L"ms_kanji", 932},
    {L"ms932", 932}, {L"sjis-ms", 932}, {L"shifft_jis-ms", 932}, {L"windows-31j", 932},
    {L"cswindows31j", 932}, {L"sjis", 932}, {L"shifft_jis", 932}, {L"shift-jis", 932},
    {L"x-sjis", 932}, {L"sjis-open", 932}, {L"csshiftjis", 932}, {L"cseucpkdfmtjapanese", 20932},
    {L"extended_unix_code_packed_format_for_japanese", 20932}, {L"euc-jp", 20932},
    {L"cp51932", 51932}, {L"x-euc", 51932}, {L"ms51932", 51932}, {L"x-euc-jp", 51932},
    {L"windows-51932", 51932}, {L"iso-2022-jp", 50220}, {L"_iso-2022-jp", 50221},
    {L"ms50221", 50221}, {L"iso-2022-jp-ms", 50221}, {L"csiso2022jp", 50221},
    {L"iso2022-jp-ms", 50221}, {L"windows-50221", 50221}, {L"cp50221", 50221},
    {L"_iso-2022-jp$sio", 50222}, {L"x-mac-japanese", 10001}, {L"ksc_5601", 949}, {L"uhc", 949},
    {L"korean", 949}, {L"iso-ir-149", 949}, {L"csksc56011987", 949}, {L"ks_c_5601-1987", 949},
    {L"ks_c_5601-1989", 949}, {L"ksc5601", 949}, {L"cp949", 949}, {L"ks_c_5601", 949},
    {L"ks_c_5601_1987", 949}, {L"ks-c5601", 949}, {L"ks-c-5601", 949}, {L"euc-kr", 51949},
    {L"cseuckr", 51949}, {L"iso2022-kr", 50225}, {L"csiso2022kr", 50225}, {L"iso-2022-kr", 50225},
    {L"johab", 1361}, {L"cp1361", 1361}, {L"x-cp20949", 20949}, {L"x-cp50227", 50227},
    {L"ms-ee", 1250}, {L"windows-1250", 1250}, {L"cp1250", 1250}, {L"x-cp1250", 1250},
    {L"ms-cyrl", 1251}, {L"windows-1251", 1251}, {L"cp1251", 1251}, {L"x-cp1251", 1251},
    {L"ms-ansi", 1252}, {L"windows-1252", 1252}, {L"cp1252", 1252}, {L"x-ansi", 1252},
    {L"ms-greek", 1253}, {L"windows-1253", 1253}, {L"cp1253", 1253}, {L"windows-1254", 1254},
    {L"ms-turk", 1254}, {L"cp1254", 1254}, {L"ms-hebr", 1255}, {L"windows-1255", 1255},
    {L"cp1255", 1255}, {L"ms-arab", 1256}, {L"windows-1256", 1256}, {L"cp1256", 1256},
    {L"cp1256 ", 1256}, {L"windows-1257", 1257}, {L"cp1257", 1257}, {L"winbaltrim", 1257},
    {L"windows-1258", 1258}, {L"cp1258", 1258}, {L"l1", 28591}, {L"ibm819", 28591},
    {L"iso-ir-100", 28591}, {L"iso8859-1", 28591}, {L"csisolatin1", 28591}, {L"cp819", 28591},
    {L"iso-8859-1", 28591}, {L"iso_8859-1:1987", 28591}, {L"latin1", 28591},
    {L"iso_8859-1", 28591}, {L"l2", 28592}, {L"iso-ir-101", 28592}, {L"iso8859-2", 28592},
    {L"csisolatin2", 28592}, {L"iso-8859-2", 28592}, {L"iso_8859-2:1987", 28592},
    {L"latin2", 28592}, {L"iso_8859-2", 28592}, {L"l3", 28593}, {L"iso-ir-109", 28593},
    {L"iso8859-3", 28593}, {L"csisolatin3", 28593}, {L"iso-8859-3", 28593},
    {L"iso_8859-3:1988", 28593}, {L"latin3", 28593}, {L"iso_8859-3", 28593}, {L"l4", 28594},
    {L"iso-ir-110", 28594}, {L"iso8859-4", 28594}, {L"csisolatin4", 28594}, {L"iso-8859-4", 28594},
    {L"iso_8859-4:1988", 28594}, {L"latin4", 28594}, {L"iso_8859-4", 28594},
    {L"iso-ir-144", 28595}, {L"iso8859-5", 28595}, {L"csisolatin5", 28595}, {L"iso-8859-5", 28595},
    {L"csisolatincyrillic", 28595}, {L"cyrillic", 28595}, {L"iso_8859-5:1988", 28595},
    {L"iso_8859-5", 28595}, {L"iso-ir-127", 28596}, {L"iso8859-6", 28596}, {L"iso-8859-6", 28596},
    {L"iso_8859-6:1987", 28596}, {L"iso_8859-6", 28596}, {L"ecma-114", 28596},
    {L"csisolatinarabic", 28596}, {L"arabic", 28596}, {L"iso-ir-126", 28597},
    {L"iso8859-7", 28597}, {L"csisolatingreek", 28597}, {L"greek", 28597}, {L"elot_928", 28597},
    {L"iso-8859-7", 28597}, {L"iso_8859-7:1987", 28597}, {L"greek8", 28597},
    {L"iso_8859-7", 28597}, {L"ecma-118", 28597}, {L"csisolatinhebrew", 28598}, {L"hebrew", 28598},
    {L"iso-ir-138", 28598}, {L"iso8859-8", 28598}, {L"visual", 28598}, {L"iso-8859-8", 28598},
    {L"iso_8859-8:1988", 28598}, {L"iso_8859-8", 28598}, {L"l5", 28599}, {L"iso-ir-148", 28599},
    {L"iso8859-9", 28599}, {L"iso-8859-9", 28599}, {L"iso_8859-9:1989", 28599}, {L"latin5", 28599},
    {L"iso_8859-9", 28599}, {L"iso8859-13", 28603}, {L"iso-8859-13", 28603}, {L"l9", 28605},
    {L"latin-9", 28605}, {L"iso_8859-15", 28605}, {L"iso8859-15", 28605}, {L"iso-8859-15", 28605},
    {L"latin9", 28605}, {L"iso8859-8-i", 38598}, {L"iso-8859-8-i", 38598}, {L"logical", 38598},
    {L"ibm367", 20127}, {L"us-ascii", 20127}, {L"ascii", 20127}, {L"cp367", 20127},
    {L"iso-ir-6", 20127}, {L"us", 20127}, {L"csascii", 20127}, {L"ansi_x3.4-1968", 20127},
    {L"ansi_x3.4-1986", 20127}, {L"iso646-us", 20127}, {L"iso-ir-6us", 20127},
    {L"iso_646.irv:1991", 20127}, {L"koi", 20866}, {L"koi8r", 20866}, {L"koi8", 20866},
    {L"koi8-r", 20866}, {L"cskoi8r", 20866}, {L"koi8-ru", 21866}, {L"koi8-u", 21866},
    {L"windows-874", 874}, {L"cp874", 874}, {L"tis-620", 874}, {L"dos-874", 874},
    {L"iso-8859-11", 874}, {L"csptcp154", 154}, {L"cyrillic-asian", 154}, {L"cp154", 154},
    {L"pt154", 154}, {L"ptcp154", 154}, {L"ibm437", 437}, {L"cspc8", 437}, {L"codepage437", 437},
    {L"cp437", 437}, {L"cspc8codepage437", 437}, {L"asmo-708", 708}, {L"dos-720", 720},
    {L"ibm737", 737}, {L"cp737", 737}, {L"ibm775", 775}, {L"ebcdic-cp-be", 775},
    {L"ebcdic-cp-ch", 775}, {L"cp500", 775}, {L"csibm500", 775}, {L"cp775", 775},
    {L"cspc775baltic", 775}, {L"ibm850", 850}, {L"cspc850multilingual", 850}, {L"cp850", 850},
    {L"ibm852", 852}, {L"cp852", 852}, {L"cspcp852", 852}, {L"cp853", 853}, {L"ibm855", 855},
    {L"cp855", 855}, {L"csibm855", 855}, {L"ibm857", 857}, {L"cp857", 857}, {L"csibm857", 857},
    {L"ccsid00858", 858}, {L"cp00858", 858}, {L"cp858", 858}, {L"pc-multilingual-850+euro", 858},
    {L"ibm00858", 858}, {L"ibm860", 860}, {L"cp860", 860}, {L"csibm860", 860}, {L"ibm861", 861},
    {L"cp-is", 861}, {L"cp861", 861}, {L"csibm861", 861}, {L"ibm862", 862},
    {L"cspc862latinhebrew", 862}, {L"cp862", 862}, {L"dos-862", 862}, {L"ibm863", 863},
    {L"cp863", 863}, {L"csibm863", 863}, {L"ibm864", 864}, {L"cp864", 864}, {L"csibm864", 864},
    {L"ibm865", 865}, {L"cp865", 865}, {L"csibm865", 865}, {L"ibm866", 866}, {L"cp866", 866},
    {L"csibm866", 866}, {L"cp-gr", 869}, {L"ibm869", 869}, {L"cp869", 869}, {L"csibm869", 869},
    {L"cp1125", 1125}, {L"cp1133", 1133}, {L"ibm-cp1133", 1133}, {L"macintosh", 10000},
    {L"csmacintosh", 10000}, {L"mac", 10000}, {L"x-mac-chinesetrad", 10002},
    {L"x-mac-korean", 10003}, {L"x-mac-arabic", 10004}, {L"x-mac-hebrew", 10005},
    {L"x-mac-greek", 10006}, {L"x-mac-cyrillic", 10007}, {L"x-mac-chinesesimp", 10008},
    {L"x-mac-romanian", 10010}, {L"x-mac-ukrainian", 10017}, {L"x-mac-thai", 10021},
    {L"x-mac-ce", 10029}, {L"x-mac-icelandic", 10079}, {L"x-mac-turkish", 10081},
    {L"x-mac-croatian", 10082}, {L"x-cp20001", 20001}, {L"x-cp20003", 20003},
    {L"x-cp20004", 20004}, {L"x-cp20005", 20005}, {L"x-cp20261", 20261}, {L"x-cp20269", 20269},
    {L"x-ia5", 20105}, {L"x-ia5-german", 20106}, {L"x-ia5-swedish", 20107},
    {L"x-ia5-norwegian", 20108}, {L"x-europa", 29001}, {L"x-iscii-de", 57002},
    {L"x-iscii-be", 57003}, {L"x-iscii-ta", 57004}, {L"x-iscii-te", 57005}, {L"x-iscii-as", 57006},
    {L"x-iscii-or", 57007}, {L"x-iscii-ka", 57008}, {L"x-iscii-ma", 57009}, {L"x-iscii-gu", 57010},
    {L"x-iscii-pa", 57011},
};

const std::unordered_map<std::wstring_view, int>& CodePageNames() {
    static const std::unordered_map<std::wstring_view, int> table = [] {
        std::unordered_map<std::wstring_view, int> t;
        for (const auto& e : kCodePageNames) t.emplace(e.name, e.codePage);
        return t;
    }();
    return table;
}

constexpr wchar_t kReplacement = 0xFFFD;

bool IsValidCodePoint(char32_t c) { return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF); }

// How one code page's bytes are converted.
enum class Codec { Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be, Iconv };

struct Resolved {
    Codec codec;
    UINT codePage;  // for Iconv
};

Resolved ResolveCodePage(int codePage) {
    switch (codePage) {
        case 65001: return {Codec::Utf8, CP_UTF8};
        case 1200: return {Codec::Utf16Le, 1200};
        case 1201: return {Codec::Utf16Be, 1201};
        case 12000:
        case kCodePageUtf32: return {Codec::Utf32Le, 12000};
        case 12001: return {Codec::Utf32Be, 12001};
        default: break;
    }
    // Unknown names and code pages without a converter here count as the
    // system's code page.
    if (codePage <= 0 || CodePageName(static_cast<UINT>(codePage)).empty()) {
        const UINT acp = GetACP();
        if (acp == CP_UTF8 || CodePageName(acp).empty()) return {Codec::Utf8, CP_UTF8};
        return {Codec::Iconv, acp};
    }
    return {Codec::Iconv, static_cast<UINT>(codePage)};
}

Resolved Resolve(std::wstring_view name) { return ResolveCodePage(GetCodePage(name)); }

// Bytes of UTF-16 into wide text: pairs are joined; a lone surrogate and an
// odd last byte become U+FFFD. Returns false when something was replaced.
bool DecodeUtf16(std::string_view bytes, bool bigEndian, std::wstring& out) {
    bool lossless = true;
    const std::size_t units = bytes.size() / 2;
    out.reserve(out.size() + units);
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>((b << 8) | a);
    };
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t v = unit(i + 1);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00)));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            out.push_back(kReplacement);
            lossless = false;
        } else {
            out.push_back(static_cast<wchar_t>(u));
        }
    }
    if (bytes.size() % 2) {
        out.push_back(kReplacement);
        lossless = false;
    }
    return lossless;
}

bool EncodeUtf16(std::wstring_view text, bool bigEndian, std::string& out) {
    bool lossless = true;
    out.reserve(out.size() + 2 * text.size());
    auto put = [&](char32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        if (bigEndian) {
            out.push_back(hi);
            out.push_back(lo);
        } else {
            out.push_back(lo);
            out.push_back(hi);
        }
    };
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        if (!IsValidCodePoint(c)) {
            c = kReplacement;
            lossless = false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return lossless;
}

// Bytes of UTF-32: a value that is no code point, and a cut last unit,
// become U+FFFD.
bool DecodeUtf32(std::string_view bytes, bool bigEndian, std::wstring& out) {
    bool lossless = true;
    const std::size_t units = bytes.size() / 4;
    out.reserve(out.size() + units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = 0;
        for (int k = 0; k < 4; ++k) {
            const auto b = static_cast<unsigned char>(bytes[4 * i + (bigEndian ? k : 3 - k)]);
            c = (c << 8) | b;
        }
        if (!IsValidCodePoint(c)) {
            c = kReplacement;
            lossless = false;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    if (bytes.size() % 4) {
        out.push_back(kReplacement);
        lossless = false;
    }
    return lossless;
}

// Wide text into UTF-32 bytes; a value that is no code point becomes '?'.
bool EncodeUtf32(std::wstring_view text, bool bigEndian, std::string& out) {
    bool lossless = true;
    out.reserve(out.size() + 4 * text.size());
    for (wchar_t w : text) {
        char32_t c = static_cast<char32_t>(w);
        if (!IsValidCodePoint(c)) {
            c = U'?';
            lossless = false;
        }
        for (int k = 0; k < 4; ++k) {
            const int shift = bigEndian ? 24 - 8 * k : 8 * k;
            out.push_back(static_cast<char>((c >> shift) & 0xFF));
        }
    }
    return lossless;
}

bool Decode(const Resolved& r, std::string_view bytes, std::wstring& out) {
    switch (r.codec) {
        case Codec::Utf8:
            out = FromUtf8(bytes);
            return IsValidUtf8(bytes);
        case Codec::Utf16Le: return DecodeUtf16(bytes, false, out);
        case Codec::Utf16Be: return DecodeUtf16(bytes, true, out);
        case Codec::Utf32Le: return DecodeUtf32(bytes, false, out);
        case Codec::Utf32Be: return DecodeUtf32(bytes, true, out);
        case Codec::Iconv: return CodePageToWide(r.codePage, bytes, out);
    }
    return false;
}

bool Encode(const Resolved& r, std::wstring_view text, std::string& out) {
    switch (r.codec) {
        case Codec::Utf8: {
            out = ToUtf8(text);
            for (wchar_t w : text)
                if (!IsValidCodePoint(static_cast<char32_t>(w))) return false;
            return true;
        }
        case Codec::Utf16Le: return EncodeUtf16(text, false, out);
        case Codec::Utf16Be: return EncodeUtf16(text, true, out);
        case Codec::Utf32Le: return EncodeUtf32(text, false, out);
        case Codec::Utf32Be: return EncodeUtf32(text, true, out);
        case Codec::Iconv: return WideToCodePage(r.codePage, text, out);
    }
    return false;
}

// Byte-order marks, in the order they are tried.
struct Mark {
    std::string_view bytes;
    const wchar_t* name;
    std::uint32_t flag;
    int unit;
};
constexpr Mark kMarks[] = {{"\xEF\xBB\xBF", L"UTF-8", XDF_UTF8_BOM, 1},
                           {"\xFF\xFE", L"UTF-16LE", XDF_UTF16LE_FILE, 2},
                           {"\xFE\xFF", L"UTF-16BE", XDF_UTF16BE_FILE, 2}};

std::wstring EncodingForNote(const std::wstring& encoding) { return encoding.empty() ? L"ANSI" : encoding; }

}  // namespace

int GetCodePage(std::wstring_view name) {
    if (name.empty()) return 0;
    if (name == L"UTF-32") return kCodePageUtf32;
    if (name.size() >= 100) return -1;
    std::wstring lowered(name);
    for (auto& c : lowered)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    const auto& table = CodePageNames();
    const auto it = table.find(lowered);
    return it == table.end() ? -1 : it->second;
}

void AddXmlNote(std::wstring& result, const XmlNote& note) {
    if (result.size() >= 1000) return;
    result += L'<';
    result += note.name;
    if (note.textAttr) {
        result += L' ';
        result += note.textAttr;
        result += L"=\"";
        result += CXmlDoc::EscapeXmlText(note.text, XML_ESCAPE_QUOTES);
        result += L'"';
    }
    if (note.numAttr) {
        result += L' ';
        result += note.numAttr;
        result += L"=\"" + std::to_wstring(note.number) + L'"';
    }
    if (note.hasOffset2) result += L" offset2=\"" + std::to_wstring(note.offset2) + L'"';
    result += L"/>";
}

CXmlTextEncoding::CXmlTextEncoding(std::wstring_view sourceName, std::string_view bytes)
    : sourceName_(sourceName), bytes_(bytes) {}

CXmlTextEncoding::CXmlTextEncoding(std::wstring_view text) : wideSource_(true), text_(text) {}

std::size_t CXmlTextEncoding::Convert(std::wstring& out) {
    targetName_.clear();
    out.clear();
    if (wideSource_) {
        out.assign(text_);
        loss_ = false;
    } else {
        loss_ = !Decode(Resolve(sourceName_), bytes_, out);
    }
    return out.size();
}

std::size_t CXmlTextEncoding::Convert(std::string& out, std::wstring_view targetName) {
    targetName_.assign(targetName);
    out.clear();
    const Resolved target = Resolve(targetName);
    if (wideSource_) {
        loss_ = !Encode(target, text_, out);
    } else {
        std::wstring wide;
        const bool decoded = Decode(Resolve(sourceName_), bytes_, wide);
        loss_ = !Encode(target, wide, out) || !decoded;
    }
    return out.size();
}

CXmlTextFile::~CXmlTextFile() {
    if (!file_) return;
    std::fclose(file_);
    if (!tempPath_.empty()) files::Remove(tempPath_);
}

void CXmlTextFile::FileErrorNote(int error) {
    std::string message = std::strerror(error);
    const std::size_t cut = message.find_first_of("\r\n");
    if (cut != std::string::npos) message.resize(cut);
    std::wstring msg = FromUtf8(message);
    if (msg.size() > 100) msg.resize(100);
    AddXmlNote(result_, {L"file_error", L"msg", msg, L"n", error});
}

bool CXmlTextFile::Open(const std::wstring& path) {
    if (file_) return false;
    path_ = path;
    tempPath_.clear();
    offset_ = 0;
    fileSize_ = 0;
    unitSize_ = 1;
    writeFailed_ = false;
    if (flags_ & XDF_READ_FILE) {
        // The file, not a previous document, says which marks it has.
        flags_ &= ~static_cast<std::uint32_t>(XDF_UTF16LE_FILE | XDF_UTF16BE_FILE | XDF_UTF8_BOM);
        file_ = _wfopen(path.c_str(), L"rb");
        if (!file_) {
            FileErrorNote(errno);
            return false;
        }
        // A folder opens like a file but cannot be read.
        struct stat st;
        if (::fstat(::fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
            FileErrorNote(EISDIR);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        if (std::fseek(file_, 0, SEEK_END) != 0 || (fileSize_ = std::ftell(file_)) < 0 ||
            std::fseek(file_, 0, SEEK_SET) != 0) {
            FileErrorNote(errno);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        // Offsets into the text are 32-bit.
        if (fileSize_ > INT32_MAX) {
            FileErrorNote(EFBIG);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        encoding_.clear();
        if (fileSize_ == 0) return true;
        char head[1024];
        const std::size_t want = fileSize_ < 1024 ? static_cast<std::size_t>(fileSize_) : sizeof(head);
        const std::size_t got = std::fread(head, 1, want, file_);
        if (got != want) {
            FileErrorNote(std::ferror(file_) ? errno : EIO);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        const std::string_view first(head, got);
        bool marked = false;
        for (const Mark& m : kMarks) {
            if (first.substr(0, m.bytes.size()) != m.bytes) continue;
            flags_ |= m.flag;
            encoding_ = m.name;
            unitSize_ = m.unit;
            offset_ = static_cast<long long>(m.bytes.size());
            AddXmlNote(result_, {L"bom"});
            marked = true;
            break;
        }
        if (!marked) {
            encoding_ = CXmlDoc::FindDeclaredEncoding(FromUtf8(first));
            if (encoding_.empty() && first[0] == '<') encoding_ = L"UTF-8";
        }
        if (std::fseek(file_, static_cast<long>(offset_), SEEK_SET) != 0) {
            FileErrorNote(errno);
            std::fclose(file_);
            file_ = nullptr;
            return false;
        }
        return true;
    }

    const bool append = (flags_ & XDF_APPEND_FILE) != 0;
    if (append) {
        const std::int64_t size = files::Size(path);
        fileSize_ = size > 0 ? size : 0;
        file_ = _wfopen(path.c_str(), L"ab");
    } else {
        tempPath_ = files::TemporarySibling(path);
        file_ = _wfopen(tempPath_.c_str(), L"wb");
    }
    if (!file_) {
        FileErrorNote(errno);
        tempPath_.clear();
        return false;
    }
    encoding_.clear();
    for (const Mark& m : kMarks) {
        if (!(flags_ & m.flag)) continue;
        encoding_ = m.name;
        unitSize_ = m.unit;
        if (fileSize_ == 0) {
            if (std::fwrite(m.bytes.data(), 1, m.bytes.size(), file_) != m.bytes.size()) {
                FileErrorNote(errno);
                writeFailed_ = true;
                return false;
            }
            offset_ += static_cast<long long>(m.bytes.size());
            AddXmlNote(result_, {L"bom"});
        }
        break;
    }
    return true;
}

bool CXmlTextFile::ReadText(std::wstring& text) {
    text.clear();
    if (!file_ || !(flags_ & XDF_READ_FILE)) return false;
    const long long left = fileSize_ - offset_;
    std::string bytes(static_cast<std::size_t>(left > 0 ? left : 0), '\0');
    const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file_);
    if (got != bytes.size()) {
        FileErrorNote(std::ferror(file_) ? errno : EIO);
        return false;
    }
    offset_ += static_cast<long long>(got);

    bool lossless = true;
    if (flags_ & (XDF_UTF16LE_FILE | XDF_UTF16BE_FILE)) {
        const bool bigEndian = (flags_ & XDF_UTF16BE_FILE) != 0;
        lossless = DecodeUtf16(bytes, bigEndian, text);
        if (bigEndian) AddXmlNote(result_, {L"endian_swap"});
        std::size_t nulls = 0;
        std::erase_if(text, [&](wchar_t c) { return c == 0 ? (++nulls, true) : false; });
        if (nulls) AddXmlNote(result_, {L"nulls_removed", nullptr, {}, L"count", static_cast<long long>(nulls)});
    } else {
        const std::size_t nulls = std::erase(bytes, '\0');
        if (nulls) AddXmlNote(result_, {L"nulls_removed", nullptr, {}, L"count", static_cast<long long>(nulls)});
        if (encoding_.empty()) {
            if (IsValidUtf8(bytes)) {
                encoding_ = L"UTF-8";
                AddXmlNote(result_, {L"read", L"encoding", encoding_});
            }
            AddXmlNote(result_, {L"utf8_detection"});
        }
        CXmlTextEncoding conversion(encoding_, bytes);
        conversion.Convert(text);
        lossless = !conversion.ConversionLoss();
        AddXmlNote(result_, {L"converted_to", L"encoding", EncodingForNote(encoding_), L"length",
                             static_cast<long long>(text.size())});
    }
    if (!lossless) AddXmlNote(result_, {L"conversion_loss"});
    AddXmlNote(result_, {L"read", L"encoding", EncodingForNote(encoding_), L"length",
                         static_cast<long long>(text.size())});
    return true;
}

bool CXmlTextFile::WriteText(std::wstring_view text, long long length) {
    if (!file_ || !(flags_ & (XDF_WRITE_FILE | XDF_APPEND_FILE)) || writeFailed_) return false;
    if (length >= 0 && static_cast<std::size_t>(length) < text.size()) text = text.substr(0, static_cast<std::size_t>(length));
    std::string bytes;
    bool lossless = true;
    if (flags_ & (XDF_UTF16LE_FILE | XDF_UTF16BE_FILE)) {
        const bool bigEndian = (flags_ & XDF_UTF16BE_FILE) != 0;
        lossless = EncodeUtf16(text, bigEndian, bytes);
        if (bigEndian) AddXmlNote(result_, {L"endian_swap"});
    } else {
        CXmlTextEncoding conversion(text);
        conversion.Convert(bytes, encoding_);
        lossless = !conversion.ConversionLoss();
        AddXmlNote(result_, {L"converted_from", L"encoding", EncodingForNote(encoding_), L"length",
                             static_cast<long long>(bytes.size())});
    }
    if (!lossless) AddXmlNote(result_, {L"conversion_loss"});
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        FileErrorNote(errno);
        writeFailed_ = true;
        return false;
    }
    offset_ += static_cast<long long>(bytes.size());
    AddXmlNote(result_, {L"write", L"encoding", EncodingForNote(encoding_), L"length",
                         static_cast<long long>(text.size())});
    return true;
}

bool CXmlTextFile::Close() {
    if (!file_) return false;
    std::FILE* f = file_;
    file_ = nullptr;
    if (flags_ & XDF_READ_FILE) {
        if (std::fclose(f) != 0) {
            FileErrorNote(errno);
            return false;
        }
        return true;
    }
    // Written data reaches the disk before the file takes the target's name.
    bool ok = !writeFailed_;
    int error = 0;
    if (ok && std::fflush(f) != 0) ok = false, error = errno;
    if (ok && ::fsync(::fileno(f)) != 0) ok = false, error = errno;
    if (std::fclose(f) != 0 && ok) ok = false, error = errno;
    if (ok && !tempPath_.empty() && !files::Rename(tempPath_, path_)) ok = false, error = errno;
    if (!ok) {
        if (error) FileErrorNote(error);
        if (!tempPath_.empty()) files::Remove(tempPath_);
    }
    tempPath_.clear();
    return ok;
}
