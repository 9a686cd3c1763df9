// The Windows runner's own helpers, shared by its files: UTF-8 and the system's wide
// text, the system's words for an error, and the checker's private folder.
#pragma once

#include <windows.h>

#include <string>

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& wide);
// The system's words for `error`, as GetLastError gives it.
std::string SystemWords(DWORD error);
// The checker's own folder under the system's temporary one, made for this run alone:
// a folder a row inside it. "" where it cannot be made.
const std::wstring& Workplace();
// Of the DLLs `program` imports, those found neither beside it nor where Windows looks,
// named; "" for none.
std::string MissingLibraries(const std::wstring& program);
