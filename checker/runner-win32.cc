// The checker's contact with Windows. A program runs in a job object of its own, so
// that at a bound it ends with every process it started, and so that the checker's
// own end, however it comes, ends them too; its console is hidden, so it cannot read
// the person's keys; its input is a file deleted when the last handle closes.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "runner.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// A word of a command line as the C runtime splits it again.
std::wstring CommandWord(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == word.npos) return word;
  std::wstring quoted = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    quoted += c;
  }
  quoted.append(slashes * 2, L'\\');
  return quoted + L"\"";
}

// The exceptions a beginner's program meets, in words; "" for an ordinary status.
std::string ExceptionInWords(DWORD code) {
  switch (code) {
    case 0xC0000005:
      return "an access violation (memory it may not touch)";
    case 0xC0000094:
      return "an integer division by zero";
    case 0xC00000FD:
      return "a stack overflow (a recursion without end, or too large a local array)";
    case 0xC0000409:
      return "aborted (a failed check of the runtime's)";
    case 0xC000001D:
      return "an illegal instruction";
    case 0xC000008E:
      return "a floating-point division by zero";
    case 0xC0000374:
      return "a corrupted heap (memory freed twice, or written past its end)";
    case 0xC000013A:
      return "ended by Ctrl-C";
    default: {
      if (code < 0xC0000000) return "";
      char hex[32];
      std::snprintf(hex, sizeof hex, "exception 0x%08lX",
                    static_cast<unsigned long>(code));
      return hex;
    }
  }
}

// Takes what `pipe` delivers into `into`, up to `bound` bytes; past it, says so.
void Drain(HANDLE pipe, std::string* into, std::size_t bound, std::atomic<bool>* too_much,
           HANDLE told) {
  char chunk[1 << 16];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    std::size_t room = bound - std::min(bound, into->size());
    into->append(chunk, std::min<std::size_t>(room, got));
    if (got > room) {
      *too_much = true;
      SetEvent(told);
      return;
    }
  }
}

// Inheritable handles are made and given to one child at a time, so that no other
// child started at once holds this one's pipes.
std::mutex starting;

}  // namespace

void PrepareToRun() {
  // A crash or a missing library ends the program without a dialog box that would
  // wait for a person; children inherit the mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds) {
  ProgramRun run;
  Clock::time_point start = Clock::now();
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 ||
      GetTempFileNameW(folder, L"chk", 0, name) == 0) {
    run.why = "the checker could not make its input file: " + SystemWords(GetLastError());
    return run;
  }
  HANDLE in = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          CREATE_ALWAYS,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  DWORD put = 0;
  if (in == INVALID_HANDLE_VALUE ||
      !WriteFile(in, input.data(), static_cast<DWORD>(input.size()), &put, nullptr) ||
      SetFilePointer(in, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    run.why =
        "the checker could not write its input file: " + SystemWords(GetLastError());
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    DeleteFileW(name);
    return run;
  }
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // An unhandled exception ends the process with its code, with no debugger or dialog
  // waiting for a person.
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  std::wstring line;
  for (const std::string& word : command)
    line += (line.empty() ? L"" : L" ") + CommandWord(Wide(word));
  HANDLE out_read = nullptr;
  HANDLE out_write = nullptr;
  HANDLE err_read = nullptr;
  HANDLE err_write = nullptr;
  CreatePipe(&out_read, &out_write, nullptr, 1 << 16);
  CreatePipe(&err_read, &err_write, nullptr, 1 << 16);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  PROCESS_INFORMATION process{};
  BOOL started = FALSE;
  DWORD start_error = 0;
  {
    std::lock_guard<std::mutex> one_at_a_time(starting);
    for (HANDLE handle : {in, out_write, err_write}) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    std::wstring program = Wide(command[0]);
    started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                             CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &process);
    start_error = GetLastError();
    for (HANDLE handle : {in, out_write, err_write}) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }
  CloseHandle(in);
  CloseHandle(out_write);
  CloseHandle(err_write);
  if (!started) {
    CloseHandle(out_read);
    CloseHandle(err_read);
    CloseHandle(job);
    run.why = start_error == ERROR_BAD_EXE_FORMAT
                  ? "not a program Windows can start"
                  : "Windows could not start it: " + SystemWords(start_error);
    return run;
  }
  AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  std::atomic<bool> too_much{false};
  HANDLE told = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> error_too_much{false};
  std::thread output(Drain, out_read, &run.output, bounds.bytes, &too_much, told);
  std::thread error(Drain, err_read, &run.error, bounds.bytes, &error_too_much, told);
  HANDLE waits[] = {process.hProcess, told};
  DWORD limit = static_cast<DWORD>(bounds.seconds * 1000 + 0.5);
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, limit);
  // The program's end ends the job, so that a process it left holding the pipes cannot
  // keep the row going.
  TerminateJobObject(job, 1);
  WaitForSingleObject(process.hProcess, INFINITE);
  output.join();
  error.join();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (woke == WAIT_OBJECT_0 + 1) {
    run.ending = Ending::kTooMuch;
    run.why = too_much ? "standard output" : "standard error";
  } else if (woke != WAIT_OBJECT_0) {
    run.ending = Ending::kTimedOut;
    // The job's count covers every process it started, where the system keeps one; the
    // program's own count, where it does not.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION used{};
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &used,
                              sizeof used, nullptr);
    FILETIME created, ended, kernel, user;
    ULARGE_INTEGER own{};
    if (GetProcessTimes(process.hProcess, &created, &ended, &kernel, &user)) {
      own.QuadPart =
          (ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}).QuadPart +
          (ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}).QuadPart;
    }
    double busy = static_cast<double>(std::max<unsigned long long>(
                      static_cast<unsigned long long>(used.TotalUserTime.QuadPart +
                                                      used.TotalKernelTime.QuadPart),
                      own.QuadPart)) /
                  1e7;
    run.busy = busy > run.seconds / 10;  // a share of a processor shared with others
  } else if (code == 0xC0000135 || code == 0xC0000139 || code == 0xC000007B) {
    run.dll_missing = true;
    run.why = code == 0xC000007B ? "a library it needs is not of this kind of Windows"
                                 : "a library it needs (a DLL) was not found";
  } else if (std::string crash = ExceptionInWords(code); !crash.empty()) {
    run.ending = Ending::kCrashed;
    run.why = crash;
  } else {
    run.ending = Ending::kExited;
    run.status = static_cast<int>(code);
  }
  CloseHandle(told);
  CloseHandle(out_read);
  CloseHandle(err_read);
  CloseHandle(process.hProcess);
  CloseHandle(job);
  return run;
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
