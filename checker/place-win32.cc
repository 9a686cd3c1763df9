// Where the checker keeps things on Windows, and the system's files and paths as the
// checker names them.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "runner.h"
#include "win32.h"

std::wstring Wide(const std::string& text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                 nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      size);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                 nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                      size, nullptr, nullptr);
  return text;
}

std::string SystemWords(DWORD error) {
  char* words = nullptr;
  DWORD size =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<char*>(&words), 0, nullptr);
  std::string text =
      size > 0 ? std::string(words, size) : "error " + std::to_string(error);
  LocalFree(words);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' ||
                           text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

namespace {

// The DLLs `program` imports, read from its import table; none where it cannot be read.
std::vector<std::string> Imports(const std::wstring& program) {
  HANDLE file = CreateFileW(program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(std::size_t{64} << 20, '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  auto word = [&](std::size_t at, std::size_t size) -> unsigned long long {
    unsigned long long value = 0;
    for (std::size_t i = 0; i < size && at + i < bytes.size(); ++i)
      value |= static_cast<unsigned long long>(static_cast<unsigned char>(bytes[at + i]))
               << (8 * i);
    return value;
  };
  std::size_t header = word(0x3c, 4);
  if (bytes.size() < header + 24 ||
      bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0)
    return {};
  std::size_t sections = word(header + 6, 2);
  std::size_t optional = header + 24;
  std::size_t table = optional + word(header + 20, 2);
  bool wide = word(optional, 2) == 0x20b;  // PE32+
  std::size_t imports = word(optional + (wide ? 120 : 104), 4);
  // A relative address as a place in the file, by the section that holds it.
  auto place = [&](std::size_t address) -> std::size_t {
    for (std::size_t i = 0; i < sections; ++i) {
      std::size_t at = table + 40 * i;
      std::size_t start = word(at + 12, 4);
      std::size_t size = std::max(word(at + 8, 4), word(at + 16, 4));
      if (address >= start && address < start + size)
        return address - start + word(at + 20, 4);
    }
    return bytes.size();
  };
  std::vector<std::string> names;
  for (std::size_t entry = place(imports);
       imports && entry + 20 <= bytes.size() && names.size() < 256; entry += 20) {
    std::size_t name = word(entry + 12, 4);
    if (name == 0) break;
    std::size_t at = place(name);
    if (at >= bytes.size()) break;
    names.push_back(bytes.substr(at, bytes.find('\0', at) - at));
  }
  return names;
}

}  // namespace

// Of the DLLs `program` imports, those found neither beside it nor where Windows looks.
std::string MissingLibraries(const std::wstring& program) {
  std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
  std::string missing;
  for (const std::string& name : Imports(program)) {
    std::wstring wide = Wide(name);
    wchar_t found[MAX_PATH + 1];
    if (GetFileAttributesW((folder + wide).c_str()) != INVALID_FILE_ATTRIBUTES ||
        SearchPathW(nullptr, wide.c_str(), nullptr, MAX_PATH + 1, found, nullptr) > 0) {
      continue;
    }
    missing += (missing.empty() ? "" : ", ") + name;
  }
  return missing;
}

const std::wstring& Workplace() {
  // Named for this run, never an earlier checker's left behind under the same number.
  static const std::wstring& folder = *[] {
    wchar_t top[MAX_PATH + 1];
    auto* name = new std::wstring;
    if (GetTempPathW(MAX_PATH + 1, top) == 0) return name;
    std::wstring stem = std::wstring(top) + L"suitecheck-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount64()) + L"-";
    for (int attempt = 0; attempt < 100; ++attempt) {
      *name = stem + std::to_wstring(attempt);
      if (CreateDirectoryW(name->c_str(), nullptr)) break;
      if (GetLastError() != ERROR_ALREADY_EXISTS || attempt == 99) name->clear();
      if (name->empty()) break;
    }
    std::atexit([] {
      std::error_code error;
      if (!Workplace().empty()) std::filesystem::remove_all(Workplace(), error);
    });
    return name;
  }();
  return folder;
}

std::string WriteNew(const std::string& path, const std::string& text) {
  static std::atomic<unsigned> made{0};
  std::string temporary = path + ".suitecheck-" + std::to_string(GetCurrentProcessId()) +
                          "-" + std::to_string(made++);
  HANDLE file = CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = EACCES;
    return "";
  }
  std::size_t at = 0;
  while (at < text.size()) {
    DWORD put = 0;
    DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 1 << 20));
    if (!WriteFile(file, text.data() + at, size, &put, nullptr) || put == 0) break;
    at += put;
  }
  bool whole = at == text.size();
  if (!CloseHandle(file)) whole = false;
  if (whole) return temporary;
  DeleteFileW(Wide(temporary).c_str());
  errno = EIO;
  return "";
}

// Windows lends a row no user nor view of its own: a row runs as the person who checks,
// as the report's first line says, and nothing is refused for it.
bool ContainmentRefused() {
  return false;
}

std::string ClosedToRows(const std::string&, bool) {
  return "";
}

FileKind KindOf(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kFolder;
  return FileKind::kProgram;
}

std::string ProgramFile(const std::string& name) {
  return name + ".exe";
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + (folder.ends_with('/') || folder.ends_with('\\') ? "" : "\\") + name;
}

std::string OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD size =
        GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (size < path.size()) {
      path.resize(size);
      break;
    }
    path.resize(path.size() * 2);
  }
  return Narrow(path.substr(0, path.find_last_of(L"\\/")));
}

std::vector<std::string> Arguments(int, char*[]) {
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(words[i]));
  LocalFree(words);
  return arguments;
}

std::string Quoted(const std::string& word) {
  return word.find_first_of(" \t&|<>^()%!\"") == word.npos && !word.empty()
             ? word
             : "\"" + word + "\"";
}

std::string DefaultPath() {
  wchar_t root[MAX_PATH + 1] = L"C:\\Windows";
  GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH + 1);
  return Narrow(std::wstring(root) + L"\\system32;" + root);
}

std::string PathSeparator() {
  return ";";
}

std::string Found(const std::string& name) {
  if (name.find_first_of("/\\") != name.npos)
    return KindOf(name) == FileKind::kMissing ? "" : name;
  wchar_t found[MAX_PATH + 1];
  if (SearchPathW(nullptr, Wide(name).c_str(), L".exe", MAX_PATH + 1, found, nullptr) ==
      0)
    return "";
  return Narrow(found);
}

std::string Identity(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data);
  return std::to_string(data.nFileSizeLow) + " " +
         std::to_string(data.ftLastWriteTime.dwLowDateTime) + " " +
         std::to_string(data.ftLastWriteTime.dwHighDateTime);
}

std::string PrivateFolder() {
  return Narrow(Workplace());
}

std::string CacheFolder() {
  wchar_t local[MAX_PATH + 1];
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH + 1) > 0)
    return Narrow(local) + "\\suitecheck";
  return Narrow(Workplace()) + "\\cache";
}

long long Lock(const std::string& folder) {
  std::wstring path = Wide(folder + "\\.suitecheck-lock");
  for (;;) {
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (held != INVALID_HANDLE_VALUE) return reinterpret_cast<long long>(held);
    if (GetLastError() != ERROR_SHARING_VIOLATION) return -1;
    Sleep(20);
  }
}

void Unlock(long long held) {
  if (held != -1) CloseHandle(reinterpret_cast<HANDLE>(held));
}
