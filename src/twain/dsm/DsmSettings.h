// Where the manager finds data sources and keeps the user's default source.
#pragma once

#include <string>

// The conventional folder of TWAIN data sources on Linux.
inline constexpr char kDsmDefaultSourceFolder[] = "/usr/local/lib/twain";
// Overrides the source folder setting when set (tests point it at a folder
// of their own).
inline constexpr char kDsmSourceFolderVariable[] = "TESSAVAN_TWAIN_SOURCES";

// The folder searched (with its sub-folders) for "*.ds" libraries each time
// an application opens the manager: the environment override when set and
// not empty, else the setting, else kDsmDefaultSourceFolder.
std::string DsmSourceFolder();
// The setting; an empty folder restores the default.
void DsmSetSourceFolder(const std::string& folder);

// The user's default source: the full path of its library, one line in
// $XDG_CONFIG_HOME/tessavan/twain-default-source (~/.config when
// XDG_CONFIG_HOME is not set). Empty when neither variable gives a folder.
std::string DsmDefaultSourceFile();
// The stored path (at most 259 characters); false when there is none or it
// cannot be read.
bool DsmReadDefaultSource(std::string& path);
// Stores the path (creating the folder), replacing the file atomically.
bool DsmWriteDefaultSource(const std::string& path);
