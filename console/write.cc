#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "format.h"
#include "output.h"
#include "system.h"

namespace {

constexpr std::size_t kChunk = 1 << 16;

// The one line on standard error, made without allocating: memory may be what ran out.
// A name too long for the line is cut, never the cause.
[[noreturn]] void Fail(std::string_view what, int error, int status = 1) {
  char line[512];
  std::string_view cause = error != 0 ? CauseInWords(error) : "";
  std::size_t tail = 2 + what.size() + (error != 0 ? 2 + cause.size() : 0) + 1;
  std::string_view name = ProgramName();
  name = name.substr(0, sizeof line - std::min(tail, sizeof line));
  std::size_t length = 0;
  auto add = [&](std::string_view text) {
    std::size_t taken = std::min(text.size(), sizeof line - 1 - length);
    std::memcpy(line + length, text.data(), taken);
    length += taken;
  };
  add(name);
  add(": ");
  add(what);
  if (error != 0) {
    add(": ");
    add(cause);
  }
  line[length++] = '\n';
  // A standard error that does not drain within ten seconds, or fails too, gets no
  // line: the status still tells.
  WriteAll(2, {line, length}, 10000);
  std::_Exit(status);
}

void OutOfMemory() {
  FlushAndFail("out of memory", 0);
}

// Every allocation that fails ends the run through OutOfMemory, before anything can
// throw: the pending output is written and the cause said, with no abort and no core.
[[maybe_unused]] const bool kOutOfMemoryHandled =
    (std::set_new_handler(OutOfMemory), true);

void FlushIfFull(Output& out) {
  if (out.pending.size() >= kChunk) Flush(out);
}

}  // namespace

void Flush(Output& out) {
  if (!out.pending.empty()) out.last_shown = out.pending.back();
  if (int error = WriteAll(out.fd, out.pending, -1)) Fail("write error", error);
  out.pending.clear();
}

void FlushAndFail(std::string_view what, int error) {
  Flush(StandardOutput());
  Fail(what, error);
}

Output& StandardOutput() {
  static Output standard_output;
  return standard_output;
}

// The end of every run that returns from main. Where the input has ended and the
// screen's last byte, pending or shown, leaves a line open, the shell's own prompt that
// follows starts on a fresh line. Where writes are cached and sent later (NFS, FUSE),
// the file system reports their failure only when the output is closed: an interrupted
// close is a flush never confirmed, so it fails too. Only a descriptor closed before the
// run (EBADF), and so never written, closes quietly.
Output::~Output() {
  char last = pending.empty() ? last_shown : pending.back();
  if (input_ended && last != '\n' && IsTerminal(fd)) pending.push_back('\n');
  Flush(*this);
  int cause = Close(fd);
  if (cause != 0 && cause != EBADF) Fail("write error", cause);
}

void Write(std::string_view text) {
  Output& out = StandardOutput();
  out.pending.append(text);
  FlushIfFull(out);
}

void WriteLine(std::string_view text) {
  Write(text);
  Write("\n");
}

void PrintArgs(std::string_view format, std::initializer_list<Arg> args) {
  Output& out = StandardOutput();
  Format(out.pending, format, args);
  FlushIfFull(out);
}

void TakeNoArguments(int argc, char* argv[], std::string_view about) {
  if (argc < 2) return;
  std::string name(ProgramName());
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    Print("usage: %s\n%s\nSee %s(1).\n", name, about, name);
    std::exit(0);
  }
  Fail("takes no arguments; see " + name + "(1)", 0, 2);
}
