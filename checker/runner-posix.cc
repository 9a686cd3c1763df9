// The checker's contact with a POSIX system. A row's first process leads a new session
// (no terminal to read the person's keys from) and, where the kernel allows, new
// namespaces (contain.h); it starts the program in the row's own empty folder, with its
// input an unlinked file, nothing of the checker's open and a fixed environment, then
// waits for it and tells the checker how it ended. Its end ends the row.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "contain.h"
#include "runner.h"

namespace {

using Clock = std::chrono::steady_clock;

// The rows' first processes running now, for a stop to end: one place a worker, taken
// and given back without a lock so that a signal handler may read them.
std::array<std::atomic<pid_t>, 256> running;
std::atomic<int> stop_signal{0};
bool stop_gently = false;

std::size_t Enlist(pid_t first) {
  for (std::size_t i = 0;; i = (i + 1) % running.size()) {
    pid_t none = 0;
    if (running[i].compare_exchange_strong(none, first)) return i;
  }
}

void EndRow(pid_t first) {
  kill(-first, SIGKILL);  // its session's group, where nothing holds it apart
  kill(first, SIGKILL);   // its namespace, where one does
}

extern "C" void Stop(int signal_number) {
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal_number);
  for (std::atomic<pid_t>& first : running) {
    if (pid_t pid = first.load()) EndRow(pid);
  }
  if (!stop_gently) {
    std::signal(signal_number, SIG_DFL);
    raise(signal_number);
  }
}

void CloseRange(int from, int to) {
#if defined(__linux__) && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  if (close_range(static_cast<unsigned>(from), static_cast<unsigned>(to), 0) == 0) return;
#endif
  int most = static_cast<int>(std::min<long>(sysconf(_SC_OPEN_MAX), 1 << 16));
  for (int fd = from; fd <= to && fd < most; ++fd) close(fd);
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Removes `path` and all in it, a folder the program closed to its owner included.
void Clear(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (!error) return;
  chmod(path.c_str(), 0700);
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    if (entry.is_directory(error) && !entry.is_symlink(error)) Clear(entry.path());
  }
  std::filesystem::remove_all(path, error);
}

// The checker's own folder under the system's temporary one, open to no one else: a
// folder a row inside it. Made on first use, removed as the checker ends.
const std::string& Workplace() {
  // Kept past the destructors, for the removal at exit to read.
  static const std::string& folder = *[] {
    const char* top = std::getenv("TMPDIR");
    auto* name = new std::string(std::string(top && *top == '/' ? top : "/tmp") +
                                 "/suitecheck-XXXXXX");
    if (!mkdtemp(name->data())) name->clear();
    std::atexit([] { Clear(Workplace()); });
    return name;
  }();
  return folder;
}

// What the row's first process tells the checker, in one write.
struct Told {
  enum Stage { kEnded, kNotStarted, kNotApart } stage = kEnded;
  int error = 0;               // with kNotStarted and kNotApart
  int status = 0;              // with kEnded
  long long microseconds = 0;  // of processor time the program used
  char step[64] = {};          // with kNotApart
};

// All the row's first process needs, made before it starts.
struct Start {
  char* const* argv;
  char* const* envp;
  int in, out, err, told, go;
  const char* scratch;
  View view;
  bool apart;
  bool memory_each;  // bound each process's memory: nothing counts them together
  const Bounds* bounds;
};

// Closes every descriptor but those of `keep`, given in ascending order; no memory is
// taken, as a child of many threads may not.
template <std::size_t N>
void CloseAllBut(const std::array<int, N>& keep) {
  int from = 0;
  for (int fd : keep) {
    if (fd > from) CloseRange(from, fd - 1);
    from = std::max(from, fd + 1);
  }
  CloseRange(from, INT_MAX);
}

void Tell(int fd, const Told& told) {
  (void)!write(fd, &told, sizeof told);
}

void Limit(int resource, rlim_t value) {
  rlimit limit{value, value};
  setrlimit(resource, &limit);
}

// The program, started by the row's first process: only its three streams open, its
// folder the scratch one, bounded, with every signal as it comes by default.
int Program(void* arg) {
  const Start& start = *static_cast<const Start*>(arg);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // No privilege of the checker's, should it run as root: none kept, none gained.
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  for (int capability = 0; capability < 64; ++capability) {
    prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
  }
#endif
  // Out of the way first: any of them may stand at 0 to 3.
  int fds[] = {start.in, start.out, start.err, start.told};
  for (int& fd : fds) fd = fcntl(fd, F_DUPFD, 10);
  for (int target = 0; target < 4; ++target) dup2(fds[target], target);
  int told = 3;
  fcntl(told, F_SETFD, FD_CLOEXEC);
  CloseAllBut(std::array<int, 4>{0, 1, 2, told});
  Told failed{.stage = Told::kNotStarted};
  if (chdir(start.scratch) != 0) {
    failed.error = errno;
    Tell(told, failed);
    _exit(127);
  }
  const Bounds& bounds = *start.bounds;
  Limit(RLIMIT_CORE, 0);
  if (bounds.file_bytes) Limit(RLIMIT_FSIZE, bounds.file_bytes);
  // A bound by each process's own clock, in case nothing counts the row's together.
  rlimit processor{static_cast<rlim_t>(std::ceil(bounds.seconds)) + 1,
                   static_cast<rlim_t>(std::ceil(bounds.seconds)) + 2};
  setrlimit(RLIMIT_CPU, &processor);
  if (start.memory_each && bounds.memory) Limit(RLIMIT_DATA, bounds.memory);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    std::signal(signal_number, SIG_DFL);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (bounds.in_child) bounds.in_child();
  execve(start.argv[0], start.argv, start.envp);
  failed.error = errno;
  Tell(told, failed);
  _exit(127);
}

// The row's first process: set apart, it starts the program and waits for it, taking
// in any orphan, and tells how it ended; its own end then ends every process left.
int First(void* arg) {
  const Start& start = *static_cast<const Start*>(arg);
#ifdef __linux__
  prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  setsid();
  std::array<int, 5> keep = {start.in, start.out, start.err, start.told, start.go};
  std::sort(keep.begin(), keep.end());
  CloseAllBut(keep);  // another row's streams among them
  char go = 0;
  if (read(start.go, &go, 1) != 1) _exit(1);  // the checker has it in its groups
  if (start.apart) {
    const char* step = "";
    if (int error = NarrowView(start.view, &step)) {
      Told told{.stage = Told::kNotApart, .error = error};
      std::strncpy(told.step, step, sizeof told.step - 1);
      Tell(start.told, told);
      _exit(1);
    }
  } else {
    AdoptOrphans();
  }
  pid_t program = Clone(Program, arg, 0);
  close(start.in);
  close(start.out);
  close(start.err);
  if (program < 0) {
    Tell(start.told, {.stage = Told::kNotStarted, .error = errno});
    _exit(1);
  }
  for (;;) {
    int status = 0;
    rusage usage{};
    pid_t ended = wait4(-1, &status, 0, &usage);
    if (ended == program) {
      Told told{.status = status};
      told.microseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                          usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
      Tell(start.told, told);
      _exit(0);
    }
    if (ended < 0 && errno != EINTR) _exit(1);
  }
}

// An unlinked file holding `input` in `folder`, read from its start; -1 where none can
// be made.
int InputFile(const std::string& folder, std::string_view input) {
  std::string name = folder + "/input";
  int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  unlink(name.c_str());
  while (!input.empty()) {
    ssize_t put = write(fd, input.data(), input.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      close(fd);
      return -1;
    }
    input.remove_prefix(static_cast<std::size_t>(put));
  }
  lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string CrashInWords(int signal_number, const Bounds& bounds) {
  switch (signal_number) {
    case SIGSEGV:
      return "a segmentation fault (memory it may not touch)";
    case SIGABRT:
      return "aborted (abort, or a failed assert)";
    case SIGFPE:
      return "a floating-point exception (such as an integer division by zero)";
    case SIGKILL:
      return "killed";
    case SIGBUS:
      return "a bus error (memory it may not touch)";
    case SIGILL:
      return "an illegal instruction";
    case SIGPIPE:
      return "a broken pipe";
    case SIGXFSZ:
      return "it wrote a file past the bound of " +
             std::to_string(bounds.file_bytes >> 20) + " MiB";
    default:
      const char* words = strsignal(signal_number);
      return words ? words : "signal " + std::to_string(signal_number);
  }
}

std::string StartFailureInWords(int cause) {
  switch (cause) {
    case ENOEXEC:
      return "not a program this system can start (a script needs its #! line)";
    case EACCES:
      return "not allowed to start it (chmod +x makes a file a program)";
    case ENOENT:
      return "what it needs to start is missing (a script's interpreter, a library)";
    default:
      return std::strerror(cause);
  }
}

// The fixed environment, then the words given, a name given twice taking the last.
std::vector<std::string> Environment(const std::string& scratch,
                                     const std::vector<std::string>& given) {
  std::vector<std::string> all = {"PATH=" + DefaultPath(), "LANG=C", "LC_ALL=C",
                                  "HOME=" + scratch, "TMPDIR=" + scratch};
  for (const std::string& word : given) {
    std::string name = word.substr(0, word.find('=') + 1);
    std::erase_if(all, [&](const std::string& old) { return old.starts_with(name); });
    all.push_back(word);
  }
  return all;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

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
  std::string folder = Workplace() + "/" + std::to_string(rows++);
  std::string scratch = folder + "/home";
  if (Workplace().empty() || mkdir(folder.c_str(), 0700) != 0 ||
      mkdir(scratch.c_str(), 0700) != 0) {
    run.why = std::string("the checker could not make the row's folder: ") +
              std::strerror(errno);
    return run;
  }
  std::vector<std::string> words = command;
  if (!words[0].starts_with("/")) {
    words[0] =
        std::filesystem::absolute(words[0]).string();  // the row's folder is not here
  }
  std::vector<char*> argv = Pointers(words);
  std::vector<std::string> variables = Environment(scratch, bounds.environment);
  std::vector<char*> envp = Pointers(variables);

  int in = InputFile(folder, input);
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int told[2] = {-1, -1};
  int go[2] = {-1, -1};
  auto close_all = [&] {
    for (int* fd :
         {&in, &out[0], &out[1], &err[0], &err[1], &told[0], &told[1], &go[0], &go[1]}) {
      CloseIfOpen(*fd);
    }
  };
  if (in < 0 || pipe(out) != 0 || pipe(err) != 0 || pipe(told) != 0 || pipe(go) != 0) {
    run.why =
        std::string("the checker could not make its pipes: ") + std::strerror(errno);
    close_all();
    Clear(folder);
    return run;
  }
  for (int fd : {out[0], out[1], err[0], err[1], told[0], told[1], go[0], go[1]}) {
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  // A group where there is a bound for one to hold: moving a process into one waits on
  // the kernel, which a run with no such bound need not pay.
  Group group = bounds.memory || bounds.processes
                    ? MakeGroup(bounds.memory, bounds.processes)
                    : Group{};
  Start how{.argv = argv.data(),
            .envp = envp.data(),
            .in = in,
            .out = out[1],
            .err = err[1],
            .told = told[1],
            .go = go[0],
            .scratch = scratch.c_str(),
            .view = {.scratch = scratch.c_str(),
                     .scratch_bytes = 4 * bounds.file_bytes,
                     .hidden = bounds.hidden.c_str(),
                     .own = bounds.own.c_str(),
                     .checker = Workplace().c_str(),
                     .writable = bounds.writable.c_str(),
                     .visible = bounds.visible.c_str()},
            .apart = false,
            .memory_each = group.memory.empty(),
            .bounds = &bounds};
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);  // no handler of the checker's in the child
  pid_t pid = Spawn(First, &how, bounds.apart, &how.apart);
  std::size_t place = pid > 0 ? Enlist(pid) : 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (pid > 0) {
    Join(group, pid);
    (void)!write(go[1], "", 1);
    if (stop_signal) EndRow(pid);  // a stop that came as it started
  }
  for (int* fd : {&in, &out[1], &err[1], &told[1], &go[0], &go[1]}) CloseIfOpen(*fd);
  if (pid < 0) {
    run.why = std::string("the checker could not start it: ") + std::strerror(errno);
    close_all();
    EndGroup(group);
    Clear(folder);
    return run;
  }

  // Read both streams and what the first process tells, until the program has ended
  // and the streams are closed, or a bound is met. The program's end ends the row, so
  // that a process left holding the streams cannot keep it going.
  Clock::time_point wall = start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(WaitBound(bounds)));
  Clock::time_point deadline = wall;
  pollfd streams[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {told[0], POLLIN, 0}};
  std::string* into[] = {&run.output, &run.error};
  Told said;
  bool ended = false;
  bool out_of_time = false;
  bool too_much = false;
  while (!out_of_time && !too_much &&
         (!ended || streams[0].fd >= 0 || streams[1].fd >= 0)) {
    if (!ended) {
      double used = GroupSeconds(group);
      if (used < 0) used = ProgramSeconds(pid);
      run.processor = std::max(run.processor, used);
      if (used > bounds.seconds) {
        out_of_time = true;
        break;
      }
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      out_of_time = !ended;
      break;
    }
    // Woken often enough to read the processor's clock while the program runs.
    int wait = static_cast<int>(std::min<long long>(left.count(), ended ? INT_MAX : 20));
    if (poll(streams, 3, wait) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char chunk[1 << 16];
      ssize_t read_now = read(streams[i].fd, chunk, sizeof chunk);
      if (read_now > 0) {
        std::size_t room = bounds.bytes - std::min(bounds.bytes, into[i]->size());
        into[i]->append(chunk, std::min(room, static_cast<std::size_t>(read_now)));
        if (static_cast<std::size_t>(read_now) > room) {
          too_much = true;
          run.why = i == 0 ? "standard output" : "standard error";
        }
      } else if (read_now == 0 || errno != EINTR) {
        CloseIfOpen(streams[i].fd);
      }
    }
    if (streams[2].fd >= 0 && streams[2].revents != 0) {
      Told now;
      if (read(streams[2].fd, &now, sizeof now) == sizeof now && !ended) said = now;
      CloseIfOpen(streams[2].fd);
      ended = true;
      EndRow(pid);
      // What the row wrote arrives at once; a process that left it may hold the
      // streams, but the row is the program's, which has ended.
      deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(200));
    }
  }
  EndRow(pid);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  running[place] = 0;  // ended and reaped: its number may be another's
  GroupEnd end = EndGroup(group);
  for (pollfd& stream : streams) CloseIfOpen(stream.fd);
  Clear(folder);
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.processor = std::max(run.processor, static_cast<double>(said.microseconds) / 1e6);
  bool finished = ended && said.stage == Told::kEnded;
  bool well = finished && WIFEXITED(said.status) && WEXITSTATUS(said.status) == 0;
  if (ended && said.stage == Told::kNotStarted) {
    run.why = StartFailureInWords(said.error);
  } else if (ended && said.stage == Told::kNotApart) {
    run.why = std::string("the checker could not set the row apart (") + said.step +
              "): " + std::strerror(said.error);
  } else if (!ended && !out_of_time && !too_much) {
    run.why = stop_signal ? "the checker was stopped" : "its first process was lost";
  } else if (too_much) {
    run.ending = Ending::kTooMuch;
  } else if (end.out_of_memory && !well) {
    run.ending = Ending::kOutOfMemory;
  } else if (end.too_many && !well) {
    run.ending = Ending::kTooMany;
  } else if (out_of_time ||
             (WIFSIGNALED(said.status) && WTERMSIG(said.status) == SIGXCPU)) {
    run.ending = Ending::kTimedOut;
    run.busy = run.processor > run.seconds / 10 || !out_of_time;
  } else if (WIFSIGNALED(said.status)) {
    run.ending = Ending::kCrashed;
    run.status = WTERMSIG(said.status);
    run.why = CrashInWords(run.status, bounds);
  } else {
    run.ending = Ending::kExited;
    run.status = WEXITSTATUS(said.status);
  }
  return run;
}

void PrepareToRun(bool gently) {
  stop_gently = gently;
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    struct sigaction action {};
    action.sa_handler = Stop;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

int StopSignal() {
  return stop_signal;
}

void EndAsStopped() {
  Clear(Workplace());
  RemoveGroups();
  std::signal(stop_signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, stop_signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(stop_signal);
  _exit(128 + stop_signal);
}

std::string HeldInWords(bool apart) {
  return KernelHolds(apart);
}

FileKind KindOf(const std::string& path) {
  struct stat file;
  if (stat(path.c_str(), &file) != 0) return FileKind::kMissing;
  if (S_ISDIR(file.st_mode)) return FileKind::kFolder;
  return access(path.c_str(), X_OK) == 0 ? FileKind::kProgram : FileKind::kNotExecutable;
}

std::string ProgramFile(const std::string& name) {
  return name;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  return folder + (folder.ends_with('/') ? "" : "/") + name;
}

std::string OwnFolder() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(".") : self.parent_path().string();
}

std::vector<std::string> Arguments(int argc, char* argv[]) {
  return {argv + 1, argv + argc};
}

std::string Quoted(const std::string& word) {
  if (!word.empty() &&
      word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                             "0123456789_-./:=+,@%") == word.npos) {
    return word;
  }
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string DefaultPath() {
  char path[256] = "/usr/bin:/bin";
  confstr(_CS_PATH, path, sizeof path);
  return path;
}

std::string PathSeparator() {
  return ":";
}

std::string Found(const std::string& name) {
  if (name.find('/') != name.npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* person = std::getenv("PATH");
  std::string folders = DefaultPath() + ":" + (person ? person : "");
  for (std::size_t at = 0; at <= folders.size();) {
    std::size_t end = std::min(folders.find(':', at), folders.size());
    std::string path = folders.substr(at, end - at) + "/" + name;
    if (end > at && KindOf(path) == FileKind::kProgram) return path;
    at = end + 1;
  }
  return "";
}

std::string Identity(const std::string& path) {
  struct stat file {};
  stat(path.c_str(), &file);
  return std::to_string(file.st_size) + " " + std::to_string(file.st_mtime);
}

std::string CacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache && *cache == '/') return std::string(cache) + "/suitecheck";
  if (home && *home == '/') return std::string(home) + "/.cache/suitecheck";
  return Workplace() + "/cache";
}

long long Lock(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(fd);
      return -1;
    }
  }
  return fd;
}

void Unlock(long long held) {
  if (held >= 0) close(static_cast<int>(held));
}
