// The checker's contact with the operating system, with one implementation a system
// (runner-posix.cc, runner-win32.cc) that the build picks: starting a program that may
// be broken in every way, bounded in time and output, and ending it and everything it
// started; finding files; locking a folder. Paths and words are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// How a run ended.
enum class Ending {
  kExited,       // by itself, with `status`
  kCrashed,      // by a signal or an exception, `why` in words
  kTimedOut,     // still running at the time bound, and ended
  kTooMuch,      // past the output bound, and ended
  kCannotStart,  // never ran: `why` says what stopped it
};

struct ProgramRun {
  Ending ending = Ending::kCannotStart;
  int status = 0;            // with kExited
  std::string why;           // with kCrashed and kCannotStart, and kTooMuch: which stream
  bool busy = false;         // with kTimedOut: using the processor, not waiting
  bool dll_missing = false;  // with kCannotStart: a library it needs was not found
  std::string output;        // its standard output, at most the bound
  std::string error;         // its standard error, at most the bound
  double seconds = 0;
};

struct Bounds {
  double seconds = 5;
  std::size_t bytes = std::size_t{1} << 20;  // of output, and again of standard error
};

// Runs `command` (a program's path, then its arguments) with `input` on its standard
// input from a file, its output and error each on a pipe of their own, in a process
// group (a job object) of its own with no terminal. Whatever the program does, the
// call returns within the time bound and a little more, and leaves no process of the
// program's group running and no file behind.
ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds);

// Readies the checker to run programs: stopped by an interrupt or the end of its
// session, it ends the programs it is running before it goes, and no program's crash
// or missing library opens a window. Called once, before any run.
void PrepareToRun();

// What stands at `path`.
enum class FileKind { kMissing, kFolder, kNotExecutable, kProgram };
FileKind KindOf(const std::string& path);

// The file name of the program NAME on this system: NAME, or NAME.exe.
std::string ProgramFile(const std::string& name);
// `name` in `folder`, written as this system writes a path.
std::string InFolder(const std::string& folder, const std::string& name);
// The folder the checker itself was started from.
std::string OwnFolder();
// The command-line words, in UTF-8.
std::vector<std::string> Arguments(int argc, char* argv[]);
// `word` quoted for this system's shell where it needs quoting.
std::string Quoted(const std::string& word);

// Holds `folder` for this process alone until Unlock, waiting while another holds it:
// a handle, or -1 where the folder cannot be held.
long long Lock(const std::string& folder);
void Unlock(long long held);
