// Fuzz target: XML text files and code-page conversions. The first byte
// picks an encoding name; the rest is read as the bytes of a file (marks,
// declarations, UTF-8 detection, conversion, parse) and converted to wide
// text and back. Our own UTF-8, UTF-16 and UTF-32 converters must give back
// every input they read without loss; a configuration file loaded from the
// bytes leaves every setting inside its limits.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/core/Strings.h"
#include "settings/ConfigFile.h"
#include "settings/SettingsTable.h"
#include "settings/XmlDoc.h"
#include "settings/XmlTextFile.h"

namespace {

const wchar_t* const kEncodings[] = {
    L"UTF-8", L"UTF-16LE", L"UTF-16BE", L"utf-32", L"utf-32be", L"UTF-32", L"gbk", L"gb18030", L"big5",
    L"shift_jis", L"euc-jp", L"euc-kr", L"iso-2022-jp", L"iso-2022-kr", L"utf-7", L"windows-1252",
    L"koi8-r", L"cp437", L"x-mac-cyrillic", L"hz-gb-2312", L"x-iscii-de", L"", L"no-such-name", L"ascii",
};

bool OwnConverter(const std::wstring& name) {
    const int cp = GetCodePage(name);
    return cp == 65001 || cp == 1200 || cp == 1201 || cp == 12000 || cp == 12001 || cp == 65005;
}

std::wstring FilePath() {
    const char* tmp = std::getenv("TMPDIR");
    return FromUtf8(std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_xml_text_" + std::to_string(::getpid()) + ".xml");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::wstring name = kEncodings[data[0] % std::size(kEncodings)];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    // Bytes to wide text and back.
    CXmlTextEncoding decode(name, bytes);
    std::wstring wide;
    CHECK(decode.Convert(wide) == wide.size());
    CXmlTextEncoding encode(wide);
    std::string again;
    CHECK(encode.Convert(again, name) == again.size());
    if (OwnConverter(name) && !decode.ConversionLoss()) {
        CHECK(!encode.ConversionLoss());
        CHECK(again == bytes);
    }
    // Any code points (the bytes as 32-bit units) into the encoding.
    std::wstring units;
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        std::uint32_t u = 0;
        for (int k = 3; k >= 0; --k) u = (u << 8) | static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
        units.push_back(static_cast<wchar_t>(u));
    }
    CXmlTextEncoding anyText(units);
    std::string out;
    anyText.Convert(out, name);
    if (OwnConverter(name) && !anyText.ConversionLoss()) {
        std::wstring back;
        CXmlTextEncoding(name, out).Convert(back);
        CHECK(back == units);
    }

    // The bytes as a file: read and parsed as the configuration loader does.
    static const std::wstring path = FilePath();
    if (std::FILE* f = std::fopen(ToUtf8(path).c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        CXmlDoc doc;
        doc.LoadFile(path);
        if (doc.FindElement(L"config") && doc.IntoElement() && doc.FindElement()) doc.GetAttribute(L"on");
        // As a configuration file: every value it sets stays inside its limits.
        LoadedConfig loaded;
        if (LoadConfigFile(path, loaded)) {
            for (const settings::Setting& s : settings::ProcessSettingTable()) {
                CHECK(std::isfinite(s.Get()));
                CHECK(s.WithinLimits(s.Get()));
            }
            settings::ResetToStart(settings::ProcessSettingTable());
        }
        std::remove(ToUtf8(path).c_str());
    }
    return 0;
}
