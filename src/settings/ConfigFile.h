// The configuration file morvessaconfig.xml: the processing settings, the
// main window's folder choices and its thread count, written and read on the
// user's request (the configuration dialog). The file's layout:
//
//   <?xml version="1.0" encoding="UTF-8"?><config>
//   <filedir savetoprevdir="1" includesubdir="1" allreprocess="1" pathsrc="..." pathdst="..."/>
//   <setting>
//   <rmbkcolor on="1" bright="40" .../>
//   ... one element per group of the settings table, attributes in table order
//   </setting>
//   <other concurrent="2"/>
//   </config>
//
// in UTF-8 without byte-order mark, lines ending in "\r\n", no indentation;
// filedir and setting only when chosen, other always. Numbers are written and
// read in the C locale. Values read back are kept inside the limits the
// settings dialog puts on them; the main window's part comes back to the
// caller, which puts it into the window.
#pragma once

#include <optional>
#include <string>

constexpr const wchar_t* kConfigFileName = L"morvessaconfig.xml";

// The main window's folder choices as the file carries them.
struct ConfigFolders {
    bool saveToNewFolder = false;  // written inverted, as savetoprevdir
    bool includeSubfolders = false;
    bool reprocessAll = false;
    std::wstring source;
    std::wstring destination;
};

// The text of the file: the folder part when `folders` is given, the
// processing settings (from ProcessSetting) when `withSettings`, and always
// the thread count.
std::wstring BuildConfigText(const ConfigFolders* folders, bool withSettings, int concurrent);

// What a load found besides the processing settings.
struct LoadedConfig {
    std::optional<ConfigFolders> folders;  // filedir was found
    bool settings = false;                 // setting was found (ProcessSetting written)
    std::optional<int> concurrent;         // other was found
};

// Applies a document's text: the setting part goes into ProcessSetting (each
// group found, each value clamped to its limits; a group not found keeps its
// values), the rest into `out`. Elements are looked for in file order only:
// one that stands before an element already found is not seen. False, with
// nothing changed, when the text has no config element.
bool ApplyConfigText(const std::wstring& text, LoadedConfig& out);

// Loads a file as ApplyConfigText does. False, with nothing changed, when the
// file cannot be read or has no config element.
bool LoadConfigFile(const std::wstring& path, LoadedConfig& out);

// Writes `text` into `path` (through a temporary file beside it: a failed
// write leaves the previous file as it was). Temporary files that earlier
// saves, killed part way, left beside it are removed first.
bool SaveConfigFile(const std::wstring& path, const std::wstring& text);

// The file in the program's folder; empty when that folder is unknown.
std::wstring ConfigFilePath();
// Tests put the file into a folder of their own (empty: the program's
// folder again).
void SetConfigFolderOverride(const std::wstring& folder);
