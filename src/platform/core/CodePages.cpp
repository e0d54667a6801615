#include "platform/core/CodePages.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <mutex>

#include "platform/core/Strings.h"

namespace {

struct CodePageEntry {
    UINT codePage;
    const char* iconvName;
    const char* codesets[4];  // locale codeset spellings that mean it
};

// Code pages the program can meet as a system encoding.
constexpr CodePageEntry kCodePages[] = {
    {936, "GBK", {"GBK", "GB2312", "EUC-CN", nullptr}},
    {54936, "GB18030", {"GB18030", nullptr, nullptr, nullptr}},
    {950, "BIG5", {"BIG5", "BIG5-HKSCS", nullptr, nullptr}},
    {932, "CP932", {"SHIFT_JIS", "SJIS", "CP932", nullptr}},
    {51932, "EUC-JP", {"EUC-JP", nullptr, nullptr, nullptr}},
    {949, "CP949", {"EUC-KR", "CP949", nullptr, nullptr}},
    {1252, "CP1252", {"CP1252", nullptr, nullptr, nullptr}},
    {28591, "ISO-8859-1", {"ISO-8859-1", nullptr, nullptr, nullptr}},
    {28605, "ISO-8859-15", {"ISO-8859-15", nullptr, nullptr, nullptr}},
    {1251, "CP1251", {"CP1251", nullptr, nullptr, nullptr}},
    {20866, "KOI8-R", {"KOI8-R", nullptr, nullptr, nullptr}},
    {CP_UTF8, "UTF-8", {"UTF-8", nullptr, nullptr, nullptr}},
    // Code pages that only files name (an XML declaration, say); never a
    // locale's codeset here.
    {154, "PT154", {}},
    {437, "CP437", {}},
    {708, "ASMO-708", {}},
    {737, "CP737", {}},
    {775, "CP775", {}},
    {850, "CP850", {}},
    {852, "CP852", {}},
    {855, "CP855", {}},
    {857, "CP857", {}},
    {858, "CP858", {}},
    {860, "CP860", {}},
    {861, "CP861", {}},
    {862, "CP862", {}},
    {863, "CP863", {}},
    {864, "CP864", {}},
    {865, "CP865", {}},
    {866, "CP866", {}},
    {869, "CP869", {}},
    {874, "CP874", {}},
    {1125, "CP1125", {}},
    {1133, "CP1133", {}},
    {1250, "CP1250", {}},
    {1253, "CP1253", {}},
    {1254, "CP1254", {}},
    {1255, "CP1255", {}},
    {1256, "CP1256", {}},
    {1257, "CP1257", {}},
    {1258, "CP1258", {}},
    {1361, "CP1361", {}},
    {10000, "MACINTOSH", {}},
    {10007, "MAC-CYRILLIC", {}},
    {10017, "MAC-UK", {}},
    {10029, "MAC-CENTRALEUROPE", {}},
    {10079, "MAC-IS", {}},
    {20106, "ISO646-DE", {}},
    {20107, "ISO646-SE", {}},
    {20108, "ISO646-NO", {}},
    {20127, "ASCII", {}},
    {20261, "T.61-8BIT", {}},
    {20269, "ISO_6937", {}},
    {20932, "EUC-JP", {}},
    {20936, "EUC-CN", {}},
    {20949, "EUC-KR", {}},
    {21866, "KOI8-U", {}},
    {28592, "ISO-8859-2", {}},
    {28593, "ISO-8859-3", {}},
    {28594, "ISO-8859-4", {}},
    {28595, "ISO-8859-5", {}},
    {28596, "ISO-8859-6", {}},
    {28597, "ISO-8859-7", {}},
    {28598, "ISO-8859-8", {}},
    {28599, "ISO-8859-9", {}},
    {28603, "ISO-8859-13", {}},
    {38598, "ISO-8859-8", {}},  // the same bytes, in logical order
    {50220, "ISO-2022-JP", {}},
    {50221, "ISO-2022-JP", {}},
    {50222, "ISO-2022-JP", {}},
    {50225, "ISO-2022-KR", {}},
    {50227, "ISO-2022-CN", {}},
    {51936, "EUC-CN", {}},
    {51949, "EUC-KR", {}},
    {65000, "UTF-7", {}},
};

const CodePageEntry* FindCodePage(UINT codePage) {
    for (const auto& e : kCodePages)
        if (e.codePage == codePage) return &e;
    return nullptr;
}

std::string UpperAscii(const char* s) {
    std::string out(s ? s : "");
    for (auto& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// nl_langinfo reads the global locale, which other threads may change while
// it runs; one lock keeps the read whole.
std::mutex& LocaleMutex() {
    static std::mutex m;
    return m;
}

// An open conversion, closed with the object.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

// Runs the conversion of `in` (element size `unit`), calling `replace` for
// each unit iconv refuses and skipping that unit. Returns false when a
// replacement happened.
bool Convert(Converter& conv, const char* in, std::size_t inBytes, std::size_t unit, std::string& out,
             const std::string& replacement) {
    bool lossless = true;
    char buffer[4096];
    char* src = const_cast<char*>(in);
    std::size_t left = inBytes;
    while (left > 0) {
        char* dst = buffer;
        std::size_t room = sizeof(buffer);
        const std::size_t r = iconv(conv.get(), &src, &left, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: one unit cannot be converted (or is cut short).
        // An encoding with shift states (ISO-2022-JP, UTF-7) first goes back
        // to its initial state, so the replacement reads as itself.
        lossless = false;
        dst = buffer;
        room = sizeof(buffer);
        iconv(conv.get(), nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        out += replacement;
        const std::size_t skip = left < unit ? left : unit;
        src += skip;
        left -= skip;
    }
    // Flush any shift state.
    char* dst = buffer;
    std::size_t room = sizeof(buffer);
    iconv(conv.get(), nullptr, nullptr, &dst, &room);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    return lossless;
}

}  // namespace

UINT GetACP() {
    std::string codeset;
    {
        std::lock_guard lock(LocaleMutex());
        codeset = UpperAscii(nl_langinfo(CODESET));
    }
    for (const auto& e : kCodePages)
        for (const char* name : e.codesets)
            if (name && codeset == name) return e.codePage;
    return CP_UTF8;
}

std::string CodePageName(UINT codePage) {
    if (codePage == CP_ACP) codePage = GetACP();
    const CodePageEntry* e = FindCodePage(codePage);
    return e ? e->iconvName : std::string();
}

bool WideToCodePage(UINT codePage, std::wstring_view text, std::string& out) {
    out.clear();
    if (codePage == CP_ACP) codePage = GetACP();
    if (codePage == CP_UTF8) {
        out = ToUtf8(text);
        for (wchar_t c : text) {
            const auto u = static_cast<char32_t>(c);
            if (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
        }
        return true;
    }
    const CodePageEntry* e = FindCodePage(codePage);
    if (!e) return false;
    Converter conv(e->iconvName, "WCHAR_T");
    if (!conv.ok()) return false;
    return Convert(conv, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                   sizeof(wchar_t), out, "?");
}

bool CodePageToWide(UINT codePage, std::string_view bytes, std::wstring& out) {
    out.clear();
    if (codePage == CP_ACP) codePage = GetACP();
    if (codePage == CP_UTF8) {
        out = FromUtf8(bytes);
        return IsValidUtf8(bytes);
    }
    const CodePageEntry* e = FindCodePage(codePage);
    if (!e) return false;
    Converter conv("WCHAR_T", e->iconvName);
    if (!conv.ok()) return false;
    std::string wide;
    const wchar_t replacement = 0xFFFD;
    const bool lossless = Convert(conv, bytes.data(), bytes.size(), 1, wide,
                                  std::string(reinterpret_cast<const char*>(&replacement), sizeof(wchar_t)));
    out.assign(reinterpret_cast<const wchar_t*>(wide.data()), wide.size() / sizeof(wchar_t));
    return lossless;
}
