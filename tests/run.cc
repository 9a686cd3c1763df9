#include "run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t put = write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    Check(put > 0, "write");
    text.remove_prefix(static_cast<std::size_t>(put));
  }
}

// Starts `program` with `in` as its standard input and a new pipe as its standard
// output; the read end of that pipe is returned through `out`.
pid_t Spawn(std::string_view program, int in, int& out) {
  int pipe_fds[2];
  Check(pipe2(pipe_fds, O_CLOEXEC) == 0, "pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  std::string path = ProgramPath(program);
  char* argv[] = {path.data(), nullptr};
  pid_t pid = -1;
  int error = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (error != 0) throw std::runtime_error("cannot start " + path);
  out = pipe_fds[0];
  return pid;
}

}  // namespace

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) Check(errno == EINTR, "waitpid");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

// Appends what `fd` delivers before `deadline`; false when the deadline came first.
bool ReadSome(int fd, std::string& into, Clock::time_point deadline, bool& closed) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  pollfd wait{.fd = fd, .events = POLLIN, .revents = 0};
  int ready = poll(&wait, 1, static_cast<int>(left.count()));
  if (ready < 0 && errno == EINTR) return true;
  if (ready <= 0) return false;
  char chunk[1 << 16];
  ssize_t got = read(fd, chunk, sizeof chunk);
  if (got < 0 && errno == EINTR) return true;
  if (got <= 0) closed = true;
  if (got > 0) into.append(chunk, static_cast<std::size_t>(got));
  return true;
}

Clock::time_point After(double seconds) {
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(seconds));
}

// Takes what the program writes until it closes its output, within the bounds, then
// waits for it; a program still running at a bound is ended.
RunResult ReadToEnd(pid_t pid, int out, double seconds, std::size_t max_output) {
  RunResult run;
  Clock::time_point deadline = After(seconds);
  bool closed = false;
  bool in_time = true;
  while (!closed && in_time && run.output.size() <= max_output) {
    in_time = ReadSome(out, run.output, deadline, closed);
  }
  close(out);
  if (!closed) kill(pid, SIGKILL);
  run.status = WaitFor(pid);
  run.finished = closed;
  return run;
}

}  // namespace

std::string ProgramPath(std::string_view program) {
  const char* against = std::getenv("SUITE_BIN_DIR");
  return std::string(against ? against : BIN_DIR) + "/" + std::string(program);
}

std::vector<std::string> AllPrograms() {
  std::vector<std::string> programs;
  std::istringstream list(SUITE_PROGRAMS);
  for (std::string name; std::getline(list, name, ',');) programs.push_back(name);
  return programs;
}

int InputFile(std::string_view input) {
  char name[] = "/tmp/suite-input-XXXXXX";
  int in = mkstemp(name);
  Check(in >= 0, "mkstemp");
  unlink(name);
  WriteAll(in, input);
  lseek(in, 0, SEEK_SET);
  return in;
}

RunResult RunProgram(std::string_view program, std::string_view input, double seconds,
                     std::size_t max_output) {
  int in = InputFile(input);
  int out = -1;
  pid_t pid = Spawn(program, in, out);
  close(in);
  return ReadToEnd(pid, out, seconds, max_output);
}

Session StartProgram(std::string_view program) {
  int pipe_fds[2];
  Check(pipe2(pipe_fds, O_CLOEXEC) == 0, "pipe");
  Session session;
  session.pid = Spawn(program, pipe_fds[0], session.output);
  close(pipe_fds[0]);
  session.input = pipe_fds[1];
  return session;
}

std::string ReadUntil(const Session& session, std::string_view wanted, double seconds) {
  std::string seen;
  Clock::time_point deadline = After(seconds);
  bool closed = false;
  while (seen.find(wanted) == std::string::npos && !closed &&
         ReadSome(session.output, seen, deadline, closed)) {
  }
  return seen;
}

void Type(const Session& session, std::string_view text) {
  WriteAll(session.input, text);
}

Session StartInTerminal(std::string_view program) {
  std::string path = ProgramPath(program);
  int terminal = -1;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  Check(pid >= 0, "forkpty");
  if (pid == 0) {
    execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Session session;
  session.pid = pid;
  session.input = terminal;
  session.output = terminal;
  return session;
}

int Finish(Session& session) {
  if (session.input != session.output) close(session.input);
  return ReadToEnd(session.pid, session.output, 20, std::size_t{1} << 28).status;
}
