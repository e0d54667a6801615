#include "settings/ConfigFile.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "settings/PathHelpers.h"
#include "settings/SettingsTable.h"
#include "settings/XmlDoc.h"

namespace {

using settings::Format;
using settings::Setting;
using settings::ValueType;

std::wstring Wide(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring FormatValue(const Setting& s) {
    const double v = s.Get();
    switch (s.format) {
        case Format::kFlag: return v != 0 ? L"1" : L"0";
        case Format::kOneDecimal: return FormatW(L"%.1f", v);
        case Format::kTwoDecimals: return FormatW(L"%.2f", v);
        case Format::kDecimal:
        case Format::kNotInFile: break;
    }
    // A colour is a COLORREF written as a signed decimal, as every "%d" value.
    if (s.type == ValueType::kColour) return FormatW(L"%d", static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    return FormatW(L"%d", static_cast<std::int32_t>(v));
}

// The value an attribute's text gives, as the settings dialog would store
// it: inside the setting's limits, and one of its list's values for a list
// that shows any value as one of its items. A missing attribute reads as
// empty text, which gives 0.
double ReadValue(const Setting& s, const std::wstring& text) {
    double v;
    if (s.type == ValueType::kFloat) {
        // "inf", "nan" and numbers beyond a float read as numbers, but no
        // setting means them.
        const double d = _wtof(text);
        v = std::fabs(d) <= FLT_MAX ? static_cast<float>(d) : 0.0f;
    } else if (s.type == ValueType::kColour) {
        v = static_cast<double>(static_cast<std::uint32_t>(_wtoi(text)));
    } else {
        v = _wtoi(text);
    }
    if (s.format == Format::kFlag) v = v != 0 ? 1 : 0;
    return s.AsDialogStores(v);
}

bool ApplyConfigDocument(CXmlDoc& doc, LoadedConfig& out) {
    if (!doc.FindElement(L"config")) return false;
    doc.IntoElement();
    LoadedConfig loaded;
    if (doc.FindElement(L"filedir")) {
        ConfigFolders f;
        f.saveToNewFolder = _wtoi(doc.GetAttribute(L"savetoprevdir")) == 0;
        f.includeSubfolders = _wtoi(doc.GetAttribute(L"includesubdir")) != 0;
        f.reprocessAll = _wtoi(doc.GetAttribute(L"allreprocess")) != 0;
        f.source = doc.GetAttribute(L"pathsrc");
        f.destination = doc.GetAttribute(L"pathdst");
        loaded.folders = std::move(f);
    }
    if (doc.FindElement(L"setting")) {
        loaded.settings = true;
        doc.IntoElement();
        const auto table = settings::ProcessSettingTable();
        for (std::string_view group : settings::GroupNames(table)) {
            if (group.empty() || !doc.FindElement(Wide(group))) continue;
            for (const Setting& s : settings::Group(table, group))
                if (s.format != Format::kNotInFile) s.Set(ReadValue(s, doc.GetAttribute(Wide(s.key))));
        }
        doc.OutOfElement();
    }
    if (doc.FindElement(L"other")) loaded.concurrent = _wtoi(doc.GetAttribute(L"concurrent"));
    out = std::move(loaded);
    return true;
}

}  // namespace

std::wstring BuildConfigText(const ConfigFolders* folders, bool withSettings, int concurrent) {
    CXmlDoc doc;
    doc.SetDocument(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    doc.AddElement(L"config");
    doc.IntoElement();
    if (folders) {
        doc.AddElement(L"filedir");
        doc.SetAttribute(L"savetoprevdir", folders->saveToNewFolder ? L"0" : L"1");
        doc.SetAttribute(L"includesubdir", folders->includeSubfolders ? L"1" : L"0");
        doc.SetAttribute(L"allreprocess", folders->reprocessAll ? L"1" : L"0");
        doc.SetAttribute(L"pathsrc", folders->source);
        doc.SetAttribute(L"pathdst", folders->destination);
    }
    if (withSettings) {
        doc.AddElement(L"setting");
        doc.IntoElement();
        const auto table = settings::ProcessSettingTable();
        for (std::string_view group : settings::GroupNames(table)) {
            if (group.empty()) continue;
            doc.AddElement(Wide(group));
            for (const Setting& s : settings::Group(table, group))
                if (s.format != Format::kNotInFile) doc.SetAttribute(Wide(s.key), FormatValue(s));
        }
        doc.OutOfElement();
    }
    doc.AddElement(L"other");
    doc.SetAttribute(L"concurrent", FormatW(L"%d", concurrent));
    doc.OutOfElement();
    return doc.GetDocument();
}

bool ApplyConfigText(const std::wstring& text, LoadedConfig& out) {
    CXmlDoc doc;
    if (!doc.SetDocument(text)) return false;
    return ApplyConfigDocument(doc, out);
}

bool LoadConfigFile(const std::wstring& path, LoadedConfig& out) {
    CXmlDoc doc;
    if (!doc.LoadFile(path)) return false;
    return ApplyConfigDocument(doc, out);
}

bool SaveConfigFile(const std::wstring& path, const std::wstring& text) {
    if (path.empty()) return false;
    // What a save killed part way left beside the file goes first.
    files::RemoveStaleTemporaries(PathFolder(path));
    return CXmlDoc::SaveTextToFile(path, text);
}

namespace {
std::mutex& OverrideMutex() {
    static std::mutex m;
    return m;
}
std::wstring& FolderOverride() {
    static std::wstring folder;
    return folder;
}
}  // namespace

void SetConfigFolderOverride(const std::wstring& folder) {
    std::lock_guard lock(OverrideMutex());
    FolderOverride() = folder;
}

std::wstring ConfigFilePath() {
    std::wstring folder;
    {
        std::lock_guard lock(OverrideMutex());
        folder = FolderOverride();
    }
    if (folder.empty() && !GetExeFolder(&folder)) return {};
    return PathJoin(folder, kConfigFileName);
}
