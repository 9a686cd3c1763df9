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
#include "win32.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Whether this Windows is wine, whose job objects keep no processor time: there the
// time is not measured, and the report does not speak of it.
bool UnderWine() {
  static const bool wine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

// One row: its folder, input, job and pipes, made before it starts, closed after.
struct Row {
  std::wstring folder, scratch;
  HANDLE in = nullptr, job = nullptr, port = nullptr, said_too_much = nullptr;
  HANDLE out_read = nullptr, out_write = nullptr, err_read = nullptr, err_write = nullptr;
  PROCESS_INFORMATION process{};
  std::string why;  // the first call that failed, in the system's words

  // Whether `ok`; else the failed call's words kept, once, as what stopped the row.
  bool Checked(BOOL ok, const char* what) {
    if (!ok && why.empty()) why = std::string(what) + ": " + SystemWords(GetLastError());
    return ok;
  }
  ~Row() {
    for (HANDLE handle : {in, job, port, said_too_much, out_read, out_write, err_read,
                          err_write, process.hThread, process.hProcess}) {
      if (handle) CloseHandle(handle);
    }
    std::error_code error;
    if (!folder.empty()) std::filesystem::remove_all(folder, error);
  }
};

// The row's folder, its input as a file deleted with its last handle, its job bounded
// and telling its bounds on a port, and its pipes; false with `why` where one fails.
bool Prepare(std::string_view input, const Bounds& bounds, Row& row) {
  static std::atomic<unsigned> rows{0};
  row.folder = Workplace() + L"\\" + std::to_wstring(rows++);
  row.scratch = row.folder + L"\\home";
  if (Workplace().empty()) return row.Checked(FALSE, "the checker's folder");
  if (!row.Checked(CreateDirectoryW(row.folder.c_str(), nullptr), "its folder") ||
      !row.Checked(CreateDirectoryW(row.scratch.c_str(), nullptr), "its folder")) {
    return false;
  }
  row.in = CreateFileW((row.folder + L"\\input").c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (row.in == INVALID_HANDLE_VALUE) {
    row.in = nullptr;
    return row.Checked(FALSE, "its input file");
  }
  for (std::size_t at = 0; at < input.size();) {
    DWORD put = 0;
    DWORD size = static_cast<DWORD>(std::min<std::size_t>(input.size() - at, 1 << 20));
    if (!row.Checked(WriteFile(row.in, input.data() + at, size, &put, nullptr) && put > 0,
                     "its input file")) {
      return false;
    }
    at += put;
  }
  if (!row.Checked(
          SetFilePointer(row.in, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER,
          "its input file")) {
    return false;
  }
  row.job = CreateJobObjectW(nullptr, nullptr);
  row.port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  row.said_too_much = CreateEventW(nullptr, TRUE, FALSE, nullptr);
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
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT told{row.job, row.port};
  return row.Checked(row.job && row.port && row.said_too_much, "its job") &&
         row.Checked(SetInformationJobObject(row.job, JobObjectExtendedLimitInformation,
                                             &limits, sizeof limits),
                     "its job's bounds") &&
         row.Checked(
             SetInformationJobObject(row.job, JobObjectAssociateCompletionPortInformation,
                                     &told, sizeof told),
             "its job's port") &&
         row.Checked(CreatePipe(&row.out_read, &row.out_write, nullptr, 1 << 16),
                     "its pipes") &&
         row.Checked(CreatePipe(&row.err_read, &row.err_write, nullptr, 1 << 16),
                     "its pipes");
}

// Starts the program suspended, with the row's three handles alone inherited, puts it
// in the row's job and lets it run; false with `why` where a step fails.
bool Start(const std::vector<std::string>& command, const Bounds& bounds, Row& row) {
  std::wstring line;
  for (const std::string& word : command)
    line += (line.empty() ? L"" : L" ") + CommandWord(Wide(word));
  std::wstring environment = Environment(row.scratch, bounds.environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = row.in;
  startup.hStdOutput = row.out_write;
  startup.hStdError = row.err_write;
  BOOL started = FALSE;
  DWORD start_error = 0;
  {
    std::lock_guard<std::mutex> one_at_a_time(starting);
    bool lent = true;
    for (HANDLE handle : {row.in, row.out_write, row.err_write}) {
      lent = row.Checked(
                 SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT),
                 "its handles") &&
             lent;
    }
    if (lent) {
      started =
          CreateProcessW(Wide(command[0]).c_str(), line.data(), nullptr, nullptr, TRUE,
                         CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT,
                         environment.data(), row.scratch.c_str(), &startup, &row.process);
      start_error = GetLastError();
    }
    for (HANDLE handle : {row.in, row.out_write, row.err_write}) {
      row.Checked(SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0), "its handles");
    }
  }
  for (HANDLE* handle : {&row.in, &row.out_write, &row.err_write}) {
    CloseHandle(*handle);
    *handle = nullptr;
  }
  if (!row.why.empty()) return false;
  if (!started) {
    row.why = start_error == ERROR_BAD_EXE_FORMAT
                  ? "not a program Windows can start"
                  : "Windows could not start it: " + SystemWords(start_error);
    return false;
  }
  if (!row.Checked(AssignProcessToJobObject(row.job, row.process.hProcess),
                   "the checker could not put it in a job")) {
    TerminateProcess(row.process.hProcess, 1);
    WaitForSingleObject(row.process.hProcess, INFINITE);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(jobs_guard);
    jobs.push_back(row.job);
  }
  if (stop_signal) TerminateJobObject(row.job, 1);  // a stop that came as it started
  return row.Checked(ResumeThread(row.process.hThread) != static_cast<DWORD>(-1),
                     "the checker could not let it run");
}

// What was seen of the row as it ran.
struct Seen {
  DWORD woke = WAIT_TIMEOUT;  // the program's end, or what its output said
  bool out_of_time = false;
};

// Waits for the program's end, a bound, or too much output, reading the job's processor
// clock as it runs; then ends the job, so that a process the program left holding the
// pipes cannot keep the row going.
Seen Watch(const Bounds& bounds, Row& row, Clock::time_point start, ProgramRun& run) {
  Seen seen;
  HANDLE waits[] = {row.process.hProcess, row.said_too_much};
  double wall = WaitBound(bounds);
  run.processor = UnderWine() ? -1 : 0;
  for (;;) {
    seen.woke = WaitForMultipleObjects(2, waits, FALSE, 20);
    if (seen.woke != WAIT_TIMEOUT) break;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION used{};
    if (!UnderWine() &&
        QueryInformationJobObject(row.job, JobObjectBasicAccountingInformation, &used,
                                  sizeof used, nullptr)) {
      run.processor = Seconds(used.TotalUserTime) + Seconds(used.TotalKernelTime);
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (run.processor > bounds.seconds || elapsed > wall) {
      seen.out_of_time = true;
      run.busy = run.processor > bounds.seconds || run.processor > elapsed / 10;
      break;
    }
  }
  TerminateJobObject(row.job, 1);
  {
    std::lock_guard<std::mutex> hold(jobs_guard);
    std::erase(jobs, row.job);
  }
  WaitForSingleObject(row.process.hProcess, INFINITE);
  return seen;
}

// How the row ended, in the runner's words: what the job said of its bounds, then the
// program's code.
void Judge(const Seen& seen, const std::vector<std::string>& command, Row& row,
           bool too_much, ProgramRun& run) {
  DWORD code = 0;
  if (seen.woke == WAIT_FAILED ||
      !row.Checked(GetExitCodeProcess(row.process.hProcess, &code), "its end")) {
    run.why = "the checker could not wait for it: " +
              (row.why.empty() ? SystemWords(GetLastError()) : row.why);
    return;
  }
  bool out_of_memory = false;
  bool too_many = false;
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED detail = nullptr;
  while (GetQueuedCompletionStatus(row.port, &message, &key, &detail, 0)) {
    out_of_memory = out_of_memory || message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT ||
                    message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT;
    too_many = too_many || message == JOB_OBJECT_MSG_ACTIVE_PROCESS_LIMIT;
  }
  bool well = seen.woke == WAIT_OBJECT_0 && code == 0;
  if (seen.woke == WAIT_OBJECT_0 + 1) {
    run.ending = Ending::kTooMuch;
    run.why = too_much ? "standard output" : "standard error";
  } else if (out_of_memory && !well) {
    run.ending = Ending::kOutOfMemory;
  } else if (too_many && !well) {
    run.ending = Ending::kTooMany;
  } else if (seen.out_of_time) {
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

// The pseudo-console draws a screen from what a program writes rather than passing its
// bytes, so a typed row's output could not be told from its drawing.
std::string NoTerminal() {
  return "Windows' console does not pass a program's bytes unchanged";
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

std::vector<std::size_t> AskedAt(const std::string&,
                                 const std::vector<std::string_view>&) {
  return {};
}

// No row is typed here (NoTerminal): `typing` is never given.
ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds, const Typing*) {
  ProgramRun run;
  Clock::time_point start = Clock::now();
  if (stop_signal) {
    run.why = "the checker was stopped";
    return run;
  }
  Row row;
  if (!Prepare(input, bounds, row)) {
    run.why = "the checker could not make the row (" + row.why + ")";
    return run;
  }
  if (!Start(command, bounds, row)) {
    run.why = row.why;
    return run;
  }
  std::atomic<bool> too_much{false};
  std::atomic<bool> error_too_much{false};
  std::thread output(Drain, row.out_read, &run.output, bounds.bytes, &too_much,
                     row.said_too_much);
  std::thread error(Drain, row.err_read, &run.error, bounds.bytes, &error_too_much,
                    row.said_too_much);
  Seen seen = Watch(bounds, row, start, run);
  output.join();
  error.join();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  Judge(seen, command, row, too_much, run);
  return run;
}
