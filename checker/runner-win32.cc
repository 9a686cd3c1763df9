// The checker's contact with Windows. A program runs in a job object of its own, so
// that at a bound it ends with every process it started, and so that the checker's
// own end, however it comes, ends them too; its console is hidden, so it cannot read
// the person's keys; its input is a file deleted when the last handle closes.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

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
      // A status a program returned, such as -1, is no exception of the system's.
      if ((code & 0xFFFF0000) != 0xC0000000) return "";
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

// Inheritable handles are made and given to one child at a time, so that no other
// child started at once holds this one's pipes.
std::mutex starting;

// The jobs running now, for a stop to end; and the signal's number that stopped the
// checker (SIGINT for Ctrl-C, SIGTERM for a closed console).
std::mutex jobs_guard;
std::vector<HANDLE> jobs;
std::atomic<int> stop_signal{0};
bool stop_gently = false;

BOOL WINAPI Stop(DWORD event) {
  int none = 0;
  stop_signal.compare_exchange_strong(none, event == CTRL_C_EVENT ? 2 : 15);
  {
    std::lock_guard<std::mutex> hold(jobs_guard);
    for (HANDLE job : jobs) TerminateJobObject(job, 1);
  }
  if (!stop_gently) ExitProcess(128 + stop_signal);
  return TRUE;
}

// The checker's own folder under the system's temporary one: a folder a row inside it.
const std::wstring& Workplace() {
  static const std::wstring& folder = *[] {
    wchar_t top[MAX_PATH + 1];
    auto* name = new std::wstring;
    if (GetTempPathW(MAX_PATH + 1, top) == 0) return name;
    *name = std::wstring(top) + L"suitecheck-" + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(name->c_str(), nullptr)) name->clear();
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(Workplace(), error);
    });
    return name;
  }();
  return folder;
}

// The fixed environment, then the words given, a name given twice taking the last; a
// block of NAME=VALUE strings, as CreateProcessW takes it.
std::wstring Environment(const std::wstring& scratch,
                         const std::vector<std::string>& given) {
  wchar_t root[MAX_PATH + 1] = L"C:\\Windows";
  GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH + 1);
  std::wstring system = root;
  std::vector<std::wstring> all = {L"PATH=" + system + L"\\system32;" + system,
                                   L"SystemRoot=" + system,
                                   L"LANG=C",
                                   L"LC_ALL=C",
                                   L"HOME=" + scratch,
                                   L"TMPDIR=" + scratch,
                                   L"TMP=" + scratch,
                                   L"TEMP=" + scratch,
                                   L"USERPROFILE=" + scratch};
  for (const std::string& word : given) {
    std::wstring wide = Wide(word);
    std::wstring name = wide.substr(0, wide.find(L'=') + 1);
    std::erase_if(all, [&](const std::wstring& old) {
      return _wcsnicmp(old.c_str(), name.c_str(), name.size()) == 0;
    });
    all.push_back(wide);
  }
  std::wstring block;
  for (const std::wstring& variable : all) block += variable + L'\0';
  return block + L'\0';
}

double Seconds(LARGE_INTEGER hundreds_of_nanoseconds) {
  return static_cast<double>(hundreds_of_nanoseconds.QuadPart) / 1e7;
}

}  // namespace

void PrepareToRun(bool gently) {
  stop_gently = gently;
  // A crash or a missing library ends the program without a dialog box that would
  // wait for a person; children inherit the mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetConsoleCtrlHandler(Stop, TRUE);
}

int StopSignal() {
  return stop_signal;
}

void EndAsStopped() {
  std::error_code error;
  std::filesystem::remove_all(Workplace(), error);
  ExitProcess(128 + stop_signal);
}

std::string HeldInWords(bool) {
  return "each row runs in its own empty folder, its processes ended with it (a job "
         "object); the files and network stay in reach";
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

// Windows lends no user a row: a row runs as the person who checks.
Holding Held() {
  return {};
}

std::string ClosedToRows(const std::string&, bool) {
  return "";
}

double WaitBound(const Bounds& bounds) {
  return bounds.wait > 0 ? bounds.wait : std::max(3 * bounds.seconds, bounds.seconds + 5);
}

ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds) {
  ProgramRun run;
  Clock::time_point start = Clock::now();
  if (stop_signal) {
    run.why = "the checker was stopped";
    return run;
  }
  static std::atomic<unsigned> rows{0};
  std::wstring folder = Workplace() + L"\\" + std::to_wstring(rows++);
  std::wstring scratch = folder + L"\\home";
  if (Workplace().empty() || !CreateDirectoryW(folder.c_str(), nullptr) ||
      !CreateDirectoryW(scratch.c_str(), nullptr)) {
    run.why =
        "the checker could not make the row's folder: " + SystemWords(GetLastError());
    return run;
  }
  // Whatever the row leaves there goes with it.
  struct Cleared {
    std::wstring folder;
    ~Cleared() {
      std::error_code error;
      std::filesystem::remove_all(folder, error);
    }
  } cleared{folder};
  std::wstring name = folder + L"\\input";
  HANDLE in = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
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
    return run;
  }
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // An unhandled exception ends the process with its code, with no debugger or dialog
  // waiting for a person.
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (bounds.memory) {
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_JOB_MEMORY;
    limits.JobMemoryLimit = bounds.memory;
  }
  if (bounds.processes) {
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
    limits.BasicLimitInformation.ActiveProcessLimit =
        static_cast<DWORD>(bounds.processes);
  }
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT told{job, port};
  HANDLE out_read = nullptr;
  HANDLE out_write = nullptr;
  HANDLE err_read = nullptr;
  HANDLE err_write = nullptr;
  HANDLE too_much_said = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!job || !port || !too_much_said ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                               sizeof limits) ||
      !SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &told,
                               sizeof told) ||
      !CreatePipe(&out_read, &out_write, nullptr, 1 << 16) ||
      !CreatePipe(&err_read, &err_write, nullptr, 1 << 16)) {
    run.why = "the checker could not make the row's job: " + SystemWords(GetLastError());
    for (HANDLE handle :
         {in, job, port, too_much_said, out_read, out_write, err_read, err_write}) {
      if (handle) CloseHandle(handle);
    }
    return run;
  }

  std::wstring line;
  for (const std::string& word : command)
    line += (line.empty() ? L"" : L" ") + CommandWord(Wide(word));
  std::wstring environment = Environment(scratch, bounds.environment);
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
    started =
        CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                       environment.data(), scratch.c_str(), &startup, &process);
    start_error = GetLastError();
    for (HANDLE handle : {in, out_write, err_write}) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }
  CloseHandle(in);
  CloseHandle(out_write);
  CloseHandle(err_write);
  auto close_job = [&] {
    for (HANDLE handle : {job, port, too_much_said, out_read, err_read})
      CloseHandle(handle);
  };
  if (!started) {
    close_job();
    run.why = start_error == ERROR_BAD_EXE_FORMAT
                  ? "not a program Windows can start"
                  : "Windows could not start it: " + SystemWords(start_error);
    return run;
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    DWORD error = GetLastError();
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    close_job();
    run.why = "the checker could not put it in a job: " + SystemWords(error);
    return run;
  }
  {
    std::lock_guard<std::mutex> hold(jobs_guard);
    jobs.push_back(job);
  }
  if (stop_signal) TerminateJobObject(job, 1);  // a stop that came as it started
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);

  std::atomic<bool> too_much{false};
  std::atomic<bool> error_too_much{false};
  std::thread output(Drain, out_read, &run.output, bounds.bytes, &too_much,
                     too_much_said);
  std::thread error(Drain, err_read, &run.error, bounds.bytes, &error_too_much,
                    too_much_said);
  // Woken often enough to read the job's processor clock while it runs.
  HANDLE waits[] = {process.hProcess, too_much_said};
  double wall = WaitBound(bounds);
  DWORD woke = WAIT_TIMEOUT;
  bool out_of_time = false;
  for (;;) {
    woke = WaitForMultipleObjects(2, waits, FALSE, 20);
    if (woke != WAIT_TIMEOUT) break;
    // The job's count covers every process it started. Wine keeps none, and its
    // processes' own times are not to be trusted: there the wall bound alone holds.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION used{};
    if (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &used,
                                  sizeof used, nullptr)) {
      run.processor = Seconds(used.TotalUserTime) + Seconds(used.TotalKernelTime);
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (run.processor > bounds.seconds || elapsed > wall) {
      out_of_time = true;
      run.busy = run.processor > bounds.seconds || run.processor > elapsed / 10;
      break;
    }
  }
  // The program's end ends the job, so that a process it left holding the pipes cannot
  // keep the row going.
  TerminateJobObject(job, 1);
  {
    std::lock_guard<std::mutex> hold(jobs_guard);
    std::erase(jobs, job);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  output.join();
  error.join();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  // What the job said of its bounds while it ran.
  bool out_of_memory = false;
  bool too_many = false;
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED detail = nullptr;
  while (GetQueuedCompletionStatus(port, &message, &key, &detail, 0)) {
    out_of_memory = out_of_memory || message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT ||
                    message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT;
    too_many = too_many || message == JOB_OBJECT_MSG_ACTIVE_PROCESS_LIMIT;
  }
  bool well = woke == WAIT_OBJECT_0 && code == 0;
  if (woke == WAIT_OBJECT_0 + 1) {
    run.ending = Ending::kTooMuch;
    run.why = too_much ? "standard output" : "standard error";
  } else if (out_of_memory && !well) {
    run.ending = Ending::kOutOfMemory;
  } else if (too_many && !well) {
    run.ending = Ending::kTooMany;
  } else if (out_of_time) {
    run.ending = Ending::kTimedOut;
  } else if (code == 0xC0000135 || code == 0xC0000139 || code == 0xC000007B) {
    run.dll_missing = true;
    std::string missing = MissingLibraries(Wide(command[0]));
    run.why = code == 0xC000007B ? "a library it needs is not of this kind of Windows"
                                 : "a library it needs (a DLL) was not found";
    if (!missing.empty()) run.why += ": " + missing;
  } else if (std::string crash = ExceptionInWords(code); !crash.empty()) {
    run.ending = Ending::kCrashed;
    run.status = static_cast<int>(code);
    run.why = crash;
  } else {
    run.ending = Ending::kExited;
    run.status = static_cast<int>(code);  // -1 as the program returned it
  }
  CloseHandle(process.hProcess);
  close_job();
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
