// The checker's contact with the operating system, with one implementation a system
// (runner-posix.cc, runner-win32.cc) that the build picks: starting a program that may
// be broken and hostile in every way, alone in an empty folder of its own with a fixed
// environment, bounded in processor time, memory, processes and output, and ending it
// and everything it started; finding files; locking a folder. Paths and words are UTF-8.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// How a run ended.
enum class Ending {
  kExited,       // by itself, with `status`
  kCrashed,      // by a signal or an exception, `why` in words
  kTimedOut,     // still running at the time bound, and ended
  kTooMuch,      // past the output bound, and ended
  kOutOfMemory,  // past the memory bound, and ended
  kTooMany,      // past the bound on processes, and did not end well
  kCannotStart,  // never ran: `why` says what stopped it
};

struct ProgramRun {
  Ending ending = Ending::kCannotStart;
  int status = 0;            // with kExited; with kCrashed, the signal or exception
  std::string why;           // with kCrashed and kCannotStart, and kTooMuch: which stream
  bool busy = false;         // with kTimedOut: using the processor, not waiting
  bool dll_missing = false;  // with kCannotStart: a library it needs was not found
  std::string output;        // its standard output, at most the bound
  std::string error;         // its standard error, at most the bound
  double seconds = 0;        // by the clock on the wall
  double processor = 0;      // of processor time, its processes together where counted;
                             // -1 where not measured (under wine)
  // Typed at a terminal: the answer it waited for before the output that comes before
  // that answer had appeared, npos where none; and where in `output` (all that
  // appeared, both streams) what it wrote since the answer before begins.
  std::size_t unasked = std::string::npos;
  std::size_t since = 0;
};

// A row as a person types it at a terminal: each answer a line with its Enter, typed
// once the output that comes before it has appeared since the answer before; then the
// end of input, as often as the program reads past it.
struct Typing {
  std::vector<std::string_view>
      answers;                           // each with its line break, but perhaps the last
  std::vector<std::string_view> before;  // for each, what it writes first
};

// How a run is bounded and set apart.
struct Bounds {
  double seconds = 5;  // of processor time
  double wait = 0;     // by the wall clock; 0: the larger of 3 x seconds and seconds + 5
  std::size_t bytes = std::size_t{1} << 20;  // of output, and again of standard error
  std::size_t memory = 0;  // its processes together, or each where the system cannot
                           // count them together; 0: none
  int processes = 0;       // at once; 0: none
  std::size_t file_bytes = std::size_t{16} << 20;  // each file it writes
  // Held apart: its own user and namespaces where the system has them (not under
  // wine, nor for the suite's own programs in the tests).
  bool apart = true;
  std::vector<std::string> readable;  // what it may read: its submission, its build
  std::string writable;  // a folder it may write besides its own (a compiler's output)
  std::vector<std::string> environment;  // NAME=VALUE, beside the fixed ones
  std::function<void()> in_child;        // made just before the program starts
};

// The wall clock's bound of a run.
double WaitBound(const Bounds& bounds);

// Runs `command` (a program's path, then its arguments) with `input` on its standard
// input from a file, its output and error each on a pipe of their own, with no terminal
// and no descriptor of the checker's, in an empty folder of its own that is also its
// HOME and TMPDIR, with only PATH, LANG=C and LC_ALL=C beside them. Whatever the
// program does, the call returns within the wall bound and a little more, and leaves no
// process of the program's running and no file behind.
// With `typing`, the program's three streams are instead one terminal, set so that
// bytes pass unchanged (no echo, no signal keys, no line ends rewritten): the answers
// are typed there, and a program that waits for one before the output that comes before
// it has appeared is ended at once (`unasked`).
ProgramRun RunOnce(const std::vector<std::string>& command, std::string_view input,
                   const Bounds& bounds, const Typing* typing = nullptr);
// Why no row can be typed at a terminal on this system, in words; "" where one can.
std::string NoTerminal();

// Readies the checker to run programs: no program's crash or missing library opens a
// window, and an interrupt, SIGTERM, SIGHUP or SIGQUIT ends the programs it is running.
// `gently`: the checker then goes on to StopSignal and EndAsStopped; otherwise it goes
// at once. Called once, before any run.
void PrepareToRun(bool gently);
// The signal that asked the checker to stop, 0 while none has: no run starts after it.
int StopSignal();
// Clears up and ends the checker as that signal would have.
[[noreturn]] void EndAsStopped();
// What holds for each row on this system, in words for the report's first line;
// `apart` whether the rows were to run apart.
std::string HeldInWords(bool apart);
// Whether this system has what sets a row apart from the person (namespaces, a user of
// its own) and refused all of it to the checker: a class is then not graded unasked.
bool ContainmentRefused();
// Where rows run as users of their own: the first folder on the way to `path` (or the
// file itself) that such a user may not pass or read, "" where none; `apart` whether
// the row is to run apart.
std::string ClosedToRows(const std::string& path, bool apart);

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

// `name` looked for as the system's shells would: a path as it is, else on the system's
// default PATH, then on the person's; "" where it is not found.
std::string Found(const std::string& name);
// The system's default PATH, and what stands between two of its folders.
std::string DefaultPath();
std::string PathSeparator();
// What tells one build of the file at `path` from another: its size and time.
std::string Identity(const std::string& path);
// The folder that keeps what the checker built from one run to the next.
std::string CacheFolder();
// For each of `lines`, how much of `program`'s output came before the program read it:
// the program run alone on pipes, each line given only once it waits to read, as a
// person types an answer after its prompt. For the suite's own programs, whose rows are
// recorded so; empty where this system cannot tell that a program waits.
std::vector<std::size_t> AskedAt(const std::string& program,
                                 const std::vector<std::string_view>& lines);

// The checker's own folder for this run, open to no one else's listing, removed at its
// end: where a class's archives are unpacked. "" where none can be made.
std::string PrivateFolder();

// `text` written whole into a new file beside `path`, made for this call alone (no
// other process's, no link followed): its path, or "" with errno set.
std::string WriteNew(const std::string& path, const std::string& text);

// Holds `folder` for this process alone until Unlock, waiting while another holds it:
// a handle, or -1 where the folder cannot be held.
long long Lock(const std::string& folder);
void Unlock(long long held);
