// The program's small registry: named values under keys, kept in the text
// file "registry.ini" in the application folder. Lines read
// "[key]" and "name=value"; values are one line of UTF-8.
#pragma once

#include <optional>
#include <string>

// Stores `value` under `key`/`name` (written through a temporary file);
// false when the file cannot be written.
bool SetRegistryValue(const std::wstring& key, const std::wstring& name, const std::wstring& value);
// The stored value, or none.
std::optional<std::wstring> GetRegistryValue(const std::wstring& key, const std::wstring& name);
// The file used (the application folder's registry.ini unless set); an empty
// path restores the default. For tests.
void SetRegistryFileForTesting(const std::wstring& path);
std::wstring RegistryFile();
