// The checker's contact with a POSIX system. A program runs as the leader of a new
// session, so it has no terminal to read the person's keys from and its whole process
// group can be ended at once; its input is an unlinked file, so nothing is left behind.
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

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "runner.h"

namespace {

using Clock = std::chrono::steady_clock;

// The process groups running now, for the interrupt handler to end: one place a
// worker, taken and given back without a lock so that the handler may read them.
std::array<std::atomic<pid_t>, 256> running;

std::size_t Enlist(pid_t group) {
  for (std::size_t i = 0;; i = (i + 1) % running.size()) {
    pid_t none = 0;
    if (running[i].compare_exchange_strong(none, group)) return i;
  }
}

extern "C" void EndRunsAndGo(int signal_number) {
  for (std::atomic<pid_t>& group : running) {
    if (pid_t pid = group.load()) kill(-pid, SIGKILL);
  }
  std::signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void CloseIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// An unlinked file holding `input`, read from its start; -1 where none can be made.
int InputFile(std::string_view input) {
  const char* folder = std::getenv("TMPDIR");
  std::string name =
      std::string(folder && *folder ? folder : "/tmp") + "/suitecheck-XXXXXX";
  int fd = mkostemp(name.data(), O_CLOEXEC);
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

std::string CrashInWords(int signal_number) {
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

}  // namespace

void PrepareToRun() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction action {};
    action.sa_handler = EndRunsAndGo;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds) {
  ProgramRun run;
  Clock::time_point start = Clock::now();
  Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(bounds.seconds));
  std::vector<std::string> words = command;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int in = InputFile(input);
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int told[2] = {-1, -1};  // the cause of a failed exec, or nothing once it starts
  if (in < 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
      pipe2(told, O_CLOEXEC) != 0) {
    run.why =
        std::string("the checker could not make its pipes: ") + std::strerror(errno);
    for (int* fd : {&in, &out[0], &out[1], &err[0], &err[1], &told[0], &told[1]}) {
      CloseIfOpen(*fd);
    }
    return run;
  }
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &before);  // no handler runs in the child
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      std::signal(signal_number, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    dup2(in, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    execv(argv[0], argv.data());
    int cause = errno;
    (void)!write(told[1], &cause, sizeof cause);
    _exit(127);
  }
  std::size_t place = pid > 0 ? Enlist(pid) : 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  for (int* fd : {&in, &out[1], &err[1], &told[1]}) CloseIfOpen(*fd);
  if (pid < 0) {
    run.why = std::string("the checker could not start it: ") + std::strerror(errno);
    for (int* fd : {&out[0], &err[0], &told[0]}) CloseIfOpen(*fd);
    return run;
  }
  int cause = 0;
  ssize_t got = 0;
  do {
    got = read(told[0], &cause, sizeof cause);
  } while (got < 0 && errno == EINTR);
  CloseIfOpen(told[0]);

  // Read both streams until both end and the program has ended. The leader's end ends
  // the group, so that a child left behind holding the pipes cannot keep the row going.
  pollfd streams[] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[] = {&run.output, &run.error};
  bool ended = got == sizeof cause;
  bool out_of_time = false;
  bool too_much = false;
  while (!out_of_time && !too_much &&
         (!ended || streams[0].fd >= 0 || streams[1].fd >= 0)) {
    if (!ended) {
      siginfo_t info{};
      if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) ==
              0 &&
          info.si_pid == pid) {
        ended = true;
        kill(-pid, SIGKILL);
        // What the group wrote arrives at once; a process that left the group may
        // hold the streams, but the row is the program's, which has ended.
        deadline = std::min(deadline, Clock::now() + std::chrono::milliseconds(200));
      }
    }
    if (ended && streams[0].fd < 0 && streams[1].fd < 0) break;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      out_of_time = !ended;
      break;
    }
    // A short wait while the program may end with its streams still held elsewhere.
    int wait = static_cast<int>(std::min<long long>(left.count(), ended ? INT_MAX : 20));
    if (streams[0].fd < 0 && streams[1].fd < 0) {
      poll(nullptr, 0, wait);
      continue;
    }
    if (poll(streams, 2, wait) <= 0) continue;
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
  }
  kill(-pid, SIGKILL);
  running[place] = 0;  // ended, and soon reaped: its number may be another's
  CloseIfOpen(streams[0].fd);
  CloseIfOpen(streams[1].fd);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (got == sizeof cause) {
    run.why = StartFailureInWords(cause);
  } else if (too_much) {
    run.ending = Ending::kTooMuch;
  } else if (out_of_time) {
    run.ending = Ending::kTimedOut;
    double used =
        static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.busy = used > run.seconds / 10;  // a share of a processor shared with others
  } else if (WIFSIGNALED(status)) {
    run.ending = Ending::kCrashed;
    run.why = CrashInWords(WTERMSIG(status));
  } else {
    run.ending = Ending::kExited;
    run.status = WEXITSTATUS(status);
  }
  return run;
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
