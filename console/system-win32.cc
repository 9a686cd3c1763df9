// The console layer's contact with Windows: the standard handles themselves, so that no
// text mode of the C runtime stands between the program and its bytes: \n stays \n,
// and a 0x1A byte in a file or pipe is a byte like any other.
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "system.h"

namespace {

// A failure Windows names that the suite does not: its own code, above the errno values.
constexpr int kWindowsCause = 1 << 16;

HANDLE Handle(int stream) {
  static constexpr DWORD kStandard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
                                        STD_ERROR_HANDLE};
  HANDLE handle = stream >= 0 && stream <= 2 ? GetStdHandle(kStandard[stream]) : nullptr;
  return handle == nullptr ? INVALID_HANDLE_VALUE : handle;
}

// The causes the suite names, as on every other system.
int CauseOf(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:  // the pipe is being closed: its reader has gone
    case ERROR_PIPE_NOT_CONNECTED:
      return EPIPE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    default:
      return kWindowsCause + static_cast<int>(error);
  }
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

Transfer ReadSome(int stream, char* into, std::size_t size) {
  HANDLE handle = Handle(stream);
  if (handle == INVALID_HANDLE_VALUE) return {0, EBADF};
  bool console = IsConsole(handle);
  // A console gives a line a read; a file or a pipe as much as there is room for.
  DWORD room = static_cast<DWORD>(std::min<std::size_t>(size, console ? 4096 : 1 << 30));
  DWORD got = 0;
  if (!ReadFile(handle, into, room, &got, nullptr)) {
    DWORD error = GetLastError();
    // A pipe whose writer has gone has ended, as it has on POSIX.
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return {0, 0};
    return {0, CauseOf(error)};
  }
  // At a console, Ctrl-Z then Enter at the start of a line ends the input.
  if (console && got > 0 && into[0] == '\x1a') return {0, 0, true};
  return {got, 0};
}

// A handle here waits as long as it takes: Windows has no descriptor left non-blocking
// for the program to meet, and no wait to bound.
int WriteAll(int stream, std::string_view text, int) {
  HANDLE handle = Handle(stream);
  if (handle == INVALID_HANDLE_VALUE) return EBADF;
  while (!text.empty()) {
    // A console takes a modest piece at a time.
    DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 15));
    DWORD put = 0;
    if (!WriteFile(handle, text.data(), piece, &put, nullptr)) {
      return CauseOf(GetLastError());
    }
    if (put == 0) return EIO;
    text.remove_prefix(put);
  }
  return 0;
}

int Close(int stream) {
  HANDLE handle = Handle(stream);
  if (handle == INVALID_HANDLE_VALUE) return EBADF;
  return CloseHandle(handle) ? 0 : CauseOf(GetLastError());
}

bool IsTerminal(int stream) {
  return IsConsole(Handle(stream));
}

bool MayWait(int stream) {
  return GetFileType(Handle(stream)) != FILE_TYPE_DISK;
}

// The executable's own name: C:\course\thermo.exe is thermo.
std::string_view ProgramName() {
  static char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "program";
  std::string_view name(path, length);
  name.remove_prefix(name.find_last_of("\\/") + 1);
  auto lower = [](char c) { return static_cast<char>(c | 0x20); };
  std::size_t dot = name.size() >= 4 ? name.size() - 4 : 0;
  if (dot > 0 && name[dot] == '.' && lower(name[dot + 1]) == 'e' &&
      lower(name[dot + 2]) == 'x' && lower(name[dot + 3]) == 'e') {
    name.remove_suffix(4);
  }
  return name;
}

// In the words a Linux system gives the causes the suite names; any other in Windows'
// own words.
std::string_view CauseInWords(int cause) {
  switch (cause) {
    case ENOSPC:
      return "No space left on device";
    case EPIPE:
      return "Broken pipe";
    case EBADF:
      return "Bad file descriptor";
    case ENOMEM:
      return "Cannot allocate memory";
    case EACCES:
      return "Permission denied";
    case EINVAL:
      return "Invalid argument";
    case EIO:
      return "Input/output error";
  }
  static char words[256];
  DWORD length = 0;
  if (cause > kWindowsCause) {
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                            nullptr, static_cast<DWORD>(cause - kWindowsCause), 0, words,
                            sizeof words, nullptr);
  }
  while (length > 0 && (words[length - 1] == '\n' || words[length - 1] == '\r' ||
                        words[length - 1] == '.' || words[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "Unknown error";
  return {words, length};
}
