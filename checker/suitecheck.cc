// suitecheck: holds anyone's versions of the programs to their transcripts and page
// examples, and reports to a person: a line a program with a mark a row, and for the
// first row that failed, its input, where the output differs and the command that runs
// it again. It checks one folder or a class of them, writes the verdicts for machines,
// exports the rows for other graders, and adds a row from the programs built beside it.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "build.h"
#include "report.h"
#include "results.h"
#include "runner.h"
#include "transcript.h"

namespace {

constexpr char kUsage[] =
    "usage: suitecheck --against DIR [OPTION]... [PROGRAM[/ROW]]...\n"
    "       suitecheck --each DIR [OPTION]... [PROGRAM[/ROW]]...\n"
    "       suitecheck --export DIR [PROGRAM]...\n"
    "       suitecheck --record PROGRAM/ROW [--replace] < INPUT\n";
constexpr char kOptions[] =
    "Holds programs of the console suite, or their sources, to the rows of their\n"
    "transcripts and pages, and says what each got wrong.\n"
    "\n"
    "  --against DIR      check the programs, or their sources, in DIR\n"
    "  --each DIR         check each folder in DIR as one student's submission\n"
    "  --export DIR       write every row as DIR/PROGRAM/ROW.in and ROW.ans\n"
    "  --record P/ROW     add a row, made by the program built beside the checker\n"
    "  --replace          with --record, rewrite the row of that name\n"
    "  --seconds N        processor time a row may use (5)\n"
    "  --wait N           time a row may last by the clock (3 x --seconds, at least\n"
    "                     --seconds + 5)\n"
    "  --memory MB        memory a row may use (512)\n"
    "  --jobs N           rows at once (one a processor)\n"
    "  --env NAME=VALUE   a variable for every program, beside PATH, LANG, LC_ALL,\n"
    "                     HOME and TMPDIR\n"
    "  --cxx CMD          the C++ compiler that builds sources (CXX, else c++)\n"
    "  --cc CMD           the C compiler (CC, else cc)\n"
    "  --points FILE      what rows are worth: PROGRAM N or PROGRAM/ROW N a line\n"
    "  --crlf             take \\r\\n as a line break\n"
    "  --all              show every failing row in full, not the first a program\n"
    "  --json FILE        the verdicts, and a summary a submission, as JSON\n"
    "  --junit FILE       the verdicts as JUnit XML, for CI systems\n"
    "  --csv FILE         a gradebook: a line a submission, a column a row\n"
    "  --gradescope FILE  Gradescope's autograder results.json\n"
    "  --html FILE        a page of the class, a cell a row, to look at\n"
    "  --wine CMD         on a system other than Windows, run PROGRAM.exe with CMD\n"
    "  --run-as-me        grade a class though its rows must run as you, your files\n"
    "                     in their reach (where the system lends neither a user\n"
    "                     of their own nor namespaces)\n"
    "  --rerun WORDS      the words that start the checker, for the rerun line\n"
    "  --help, /?         this help\n";
// Where Ubuntu's AppArmor refuses namespaces to the person, what lifts it.
constexpr char kNamespacesRefused[] =
    "where AppArmor refuses them, sudo apparmor_parser -r "
    "share/suitecheck/apparmor.profile, as the README says";
constexpr std::size_t kMostInput = std::size_t{1} << 20;  // of a row recorded
constexpr int kMostProcesses = 64;  // a row's at once: past any student program's

// Where the page is: installed beside the checker as text, or in the sources.
std::string PagePlace() {
  std::filesystem::path doc =
      (PathOf(OwnFolder()) / ".." / "share" / "doc" / "suitecheck").lexically_normal();
  std::error_code error;
  if (std::filesystem::exists(doc / "suitecheck.txt", error)) {
    std::u8string text = (doc / "suitecheck.txt").u8string();
    return std::string(text.begin(), text.end()) + " (and .html)";
  }
  return std::string("man -l ") + MAN_DIR + "/suitecheck.1";
}

// One line on what was refused, any byte of the person's words shown, then the usage
// where the words themselves were not of the form.
[[noreturn]] void Refuse(const std::string& why, bool usage = false) {
  std::fprintf(stderr, "suitecheck: %s\n%s", Visible(why).c_str(), usage ? kUsage : "");
  std::exit(2);
}

// Where the rows are: installed beside the checker (BIN/../share), or in the sources
// it was built from.
struct Sources {
  std::string transcripts = TRANSCRIPT_DIR;
  std::string pages = MAN_DIR;
};

Sources FindSources() {
  std::filesystem::path share = (PathOf(OwnFolder()) / ".." / "share").lexically_normal();
  std::error_code error;
  if (!std::filesystem::is_directory(share / "suitecheck" / "transcripts", error))
    return {};
  return {TextOf(share / "suitecheck" / "transcripts"), TextOf(share / "man" / "man1")};
}

// A program's rows: its transcripts and its page's example.
std::vector<Transcript> RowsOf(const Sources& sources, const std::string& program) {
  std::vector<Transcript> rows = TranscriptsOf(sources.transcripts, program);
  rows.push_back(PageExample(sources.pages, program));
  return rows;
}

struct Options {
  std::string mode;  // --against, --each, --export or --record
  std::string target;
  double seconds = 5;  // of processor time a row
  double wait = 0;     // by the wall clock, 0 for the runner's own
  std::size_t megabytes = 512;
  unsigned jobs = 0;  // rows at once; 0: one a processor
  std::vector<std::string> environment;
  bool crlf = false;
  bool all = false;  // every failing row in full
  bool replace = false;
  bool as_me = false;  // a class graded though its rows run as the person
  std::string json, junit, csv, gradescope, html;
  std::map<std::string, double> points;  // PROGRAM or PROGRAM/ROW, from --points
  std::string cxx, cc;                   // the compilers named
  std::string wine;                      // what runs a Windows program, on another system
  std::string rerun;  // the words that start the checker, for the rerun line
  std::vector<std::string> names;
};

// The number `text` gives `option`, above 0 and at most `most`, whole where it must be.
double NumberFrom(const std::string& option, const std::string& text, double most,
                  bool whole, const char* unit) {
  char* end = nullptr;
  double number = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(number) || number <= 0 ||
      number > most || (whole && number != std::floor(number))) {
    char bound[32];
    std::snprintf(bound, sizeof bound, "%g", most);
    Refuse(option + " takes " + (whole ? "a whole number of " : "a number of ") + unit +
           " above 0 and at most " + bound + ", not " + text);
  }
  return number;
}

// What rows are worth, from a file of lines `PROGRAM POINTS` (spread over its rows) and
// `PROGRAM/ROW POINTS`, with # comments.
std::map<std::string, double> PointsFrom(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) Refuse(path + ": cannot be read");
  std::map<std::string, double> points;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string name;
    double worth = 0;
    std::string more;
    if (!(words >> name)) continue;
    if (!(words >> worth) || words >> more || !std::isfinite(worth) || worth < 0) {
      Refuse(path + ":" + std::to_string(number) +
             ": not PROGRAM POINTS or PROGRAM/ROW POINTS: " + line);
    }
    points[name] = worth;
  }
  return points;
}

Options Parsed(const std::vector<std::string>& args, const std::string& self) {
  Options options;
  options.rerun = Quoted(self);
  std::string seconds, wait, memory, jobs, variable, points;
  const std::pair<const char*, std::string*> kValued[] = {
      {"--against", &options.target}, {"--each", &options.target},
      {"--export", &options.target},  {"--record", &options.target},
      {"--seconds", &seconds},        {"--wait", &wait},
      {"--memory", &memory},          {"--jobs", &jobs},
      {"--env", &variable},           {"--json", &options.json},
      {"--junit", &options.junit},    {"--csv", &options.csv},
      {"--wine", &options.wine},      {"--rerun", &options.rerun},
      {"--cxx", &options.cxx},        {"--cc", &options.cc},
      {"--points", &points},          {"--gradescope", &options.gradescope},
      {"--html", &options.html}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto valued = std::find_if(std::begin(kValued), std::end(kValued),
                               [&](const auto& option) { return word == option.first; });
    if (word == "--help" || word == "-h" || word == "/?") {
      std::printf("%s%s\nIts page: %s\n", kUsage, kOptions, PagePlace().c_str());
      std::exit(0);
    } else if (valued != std::end(kValued)) {
      if (i + 1 == args.size()) Refuse(word + " takes a value", true);
      if (valued->second == &options.target) {  // what to do
        if (!options.mode.empty())
          Refuse(options.mode + " and " + word + " do not go together");
        options.mode = word;
      }
      *valued->second = args[++i];
      if (valued->second == &variable) {
        if (variable.find('=') == 0 || variable.find('=') == variable.npos)
          Refuse("--env takes NAME=VALUE, not " + variable);
        options.environment.push_back(variable);
      }
    } else if (word == "--crlf") {
      options.crlf = true;
    } else if (word == "--all") {
      options.all = true;
    } else if (word == "--replace") {
      options.replace = true;
    } else if (word == "--run-as-me") {
      options.as_me = true;
    } else if (word.starts_with("-")) {
      Refuse("no option " + word, true);
    } else {
      // A Windows program's name is taken as its program's: thermo.exe is thermo.
      std::string name = word;
      std::size_t exe = name.find(".exe");
      if (exe != name.npos && (exe + 4 == name.size() || name[exe + 4] == '/'))
        name.erase(exe, 4);
      options.names.push_back(name);
    }
  }
  if (options.mode.empty()) Refuse("nothing to do", true);
  if (!seconds.empty())
    options.seconds = NumberFrom("--seconds", seconds, 3600, false, "seconds");
  if (!wait.empty()) options.wait = NumberFrom("--wait", wait, 3600, false, "seconds");
  if (!memory.empty()) {
    options.megabytes =
        static_cast<std::size_t>(NumberFrom("--memory", memory, 65536, true, "MB"));
  }
  if (!jobs.empty())
    options.jobs = static_cast<unsigned>(NumberFrom("--jobs", jobs, 256, true, "rows"));
  if (!points.empty()) options.points = PointsFrom(points);
  const std::string* files[] = {&options.json, &options.junit, &options.csv,
                                &options.gradescope, &options.html};
  for (const std::string* file : files) {
    for (const std::string* other : files) {
      if (file < other && !file->empty() && *file == *other)
        Refuse("two results files are one: " + *file);
    }
  }
  return options;
}

bool IsProgram(const std::string& name) {
  std::vector<std::string> all = AllPrograms();
  return std::find(all.begin(), all.end(), name) != all.end();
}

// The programs named, or all; a name that is not one is refused before anything runs.
std::vector<std::string> ProgramsNamed(const std::vector<std::string>& names) {
  std::vector<std::string> programs;
  for (const std::string& name : names) {
    std::string program = name.substr(0, name.find('/'));
    if (!IsProgram(program)) Refuse("no program named " + program);
  }
  for (const std::string& program : AllPrograms()) {
    bool named = names.empty();
    for (const std::string& name : names) {
      named = named || name == program || name.starts_with(program + "/");
    }
    if (named) programs.push_back(program);
  }
  return programs;
}

// One program of one submission, with its rows and how it is started.
struct Unit {
  std::string submission;  // "" when one folder is checked
  std::string folder;      // as the person gave it
  std::string program;
  std::vector<Transcript> rows;
  std::string broken;                // why its rows cannot be read
  std::vector<std::string> command;  // how it is started, where it can be
  std::optional<Verdict> before;     // missing, or not to be started, for every row
  Bounds bounds;                     // how each of its rows runs
  std::vector<double> worth;         // each row's points
  std::string from;                  // the sources it is built from, "" for none
  std::string note;                  // what its build said, for the report
};

// The absolute form of `folder`, for a row whose own folder is elsewhere.
std::string Absolute(const std::string& folder) {
  std::error_code error;
  std::u8string path = std::filesystem::absolute(PathOf(folder), error).u8string();
  return std::string(path.begin(), path.end());
}

Bounds BoundsOf(const Options& options, const std::string& folder) {
  Bounds bounds{.seconds = options.seconds,
                .wait = options.wait,
                .memory = options.megabytes << 20,
                .processes = kMostProcesses,
                .apart = options.wine.empty(),
                .environment = options.environment};
  if (!folder.empty()) bounds.readable = {Absolute(folder)};
  return bounds;
}

// `text` with A to Z as a to z, for names compared as a person compares them.
std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

// What stands in `folder` where `program` is missing and a student may have meant it:
// another case, a.out, a doubled ending, main.cpp, the program one folder down.
std::vector<std::string> NearMisses(const std::string& folder,
                                    const std::string& program) {
  std::vector<std::string> near;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder), error)) {
    std::u8string utf8 = entry.path().filename().u8string();
    std::string name(utf8.begin(), utf8.end());
    std::string low = Lower(name);
    bool meant =
        low == program || low == program + ".exe" || low == "a.out" || low == "a.exe" ||
        low.starts_with("main.") ||
        (low.starts_with(program + ".") && low != program + ".exe") ||
        (name.starts_with(".") == false && entry.is_directory(error) &&
         (std::filesystem::exists(entry.path() / PathOf(program), error) ||
          std::filesystem::exists(entry.path() / PathOf(program + ".exe"), error) ||
          !SourcesOf(TextOf(entry.path()), program).empty()));
    if (meant && name != program) {
      near.push_back(entry.is_directory(error) && low != program ? name + "/" : name);
    }
  }
  std::sort(near.begin(), near.end());
  return near;
}

// How `program` in `folder` is started, or why it cannot be; sources are built later.
void Locate(Unit& unit, const Options& options) {
  unit.from = SourcesOf(unit.folder, unit.program);
  if (!unit.from.empty()) return;
  std::string path = InFolder(unit.folder, ProgramFile(unit.program));
  std::string windows = InFolder(unit.folder, unit.program + ".exe");
  FileKind kind = KindOf(path);
  if (kind == FileKind::kMissing && path != windows &&
      KindOf(windows) != FileKind::kMissing) {
    if (options.wine.empty()) {
      unit.before = Verdict{Word::kCannotStart, "windows program",
                            "could not be started: " + Visible(windows) +
                                " is a Windows program; check it on Windows"};
      return;
    }
    unit.command = {options.wine, Absolute(windows)};
    return;
  }
  switch (kind) {
    case FileKind::kMissing: {
      std::string near;
      for (const std::string& name : NearMisses(unit.folder, unit.program)) {
        near += (near.empty() ? "" : ", ") + Visible(name);
      }
      unit.before = Verdict{Word::kMissing, near,
                            "missing: no " + Visible(path) +
                                (near.empty() ? "" : "; there stands " + near)};
      return;
    }
    case FileKind::kFolder:
      unit.before = Verdict{Word::kCannotStart, "folder",
                            "could not be started: " + Visible(path) + " is a folder"};
      return;
    case FileKind::kNotExecutable:
      unit.before =
          Verdict{Word::kCannotStart, "not executable",
                  "could not be started: " + Visible(path) +
                      " is not executable (chmod +x " + Quoted(path) + " makes it so)"};
      return;
    case FileKind::kProgram:
      if (std::string closed = ClosedToRows(path, unit.bounds.apart); !closed.empty()) {
        unit.before = Verdict{Word::kCannotStart, "closed",
                              "could not be started: " + Visible(closed) +
                                  " may be read by you alone, and rows run as users of "
                                  "their own: chmod -R a+rX makes it readable to them"};
        return;
      }
      unit.command = {Absolute(path)};
  }
}

// What each of `chosen` is worth, of `rows`, all of `program`'s: what the points say
// of it, else its share of what they say of the program beyond its rows named, else 1.
std::vector<double> WorthOf(const std::map<std::string, double>& points,
                            const std::string& program,
                            const std::vector<Transcript>& rows,
                            const std::vector<Transcript>& chosen) {
  for (const auto& entry : points) {
    const std::string& name = entry.first;
    std::string named = name.substr(0, name.find('/'));
    if (named != program) continue;
    bool known = name == program || std::any_of(rows.begin(), rows.end(), [&](auto& row) {
                   return name == program + "/" + row.name;
                 });
    if (!known) Refuse("--points names no row " + name);
  }
  double left = -1;  // the program's points beyond its rows named; -1: one a row
  int unnamed = 0;
  if (auto whole = points.find(program); whole != points.end()) {
    left = whole->second;
    for (const Transcript& row : rows) {
      auto one = points.find(program + "/" + row.name);
      if (one != points.end()) {
        left -= one->second;
      } else {
        ++unnamed;
      }
    }
  }
  std::vector<double> worth;
  for (const Transcript& row : chosen) {
    auto one = points.find(program + "/" + row.name);
    worth.push_back(one != points.end() ? one->second
                    : left < 0          ? 1
                                        : std::max(0.0, left) / unnamed);
  }
  return worth;
}

// Names in the order a person looks for them: without regard to case, then as bytes.
bool Before(const std::string& a, const std::string& b) {
  std::string x = Lower(a);
  std::string y = Lower(b);
  return x != y ? x < y : a < b;
}

std::vector<Unit> Plan(const Options& options, const Sources& sources) {
  std::vector<std::string> programs = ProgramsNamed(options.names);
  std::vector<std::pair<std::string, std::string>> submissions;  // name, folder
  std::vector<std::string> files;  // handed in as one file, not a folder
  std::error_code error;
  if (std::filesystem::is_regular_file(PathOf(options.target), error)) {
    std::string folder = TextOf(PathOf(options.target).parent_path());
    Refuse(options.target + " is a file, not a folder: " + options.mode +
           " takes the folder that holds the programs, " +
           (folder.empty() ? "." : folder));
  }
  if (!std::filesystem::is_directory(PathOf(options.target), error)) {
    Refuse("no folder " + options.target);
  }
  if (options.mode == "--each") {
    for (const auto& entry :
         std::filesystem::directory_iterator(PathOf(options.target), error)) {
      std::string name = TextOf(entry.path().filename());
      if (name.starts_with(".")) continue;  // .git and the like are no one's
      if (entry.is_directory(error)) {
        submissions.emplace_back(name, InFolder(options.target, name));
      } else {
        submissions.emplace_back(name, "");
        files.push_back(name);
      }
    }
    std::sort(submissions.begin(), submissions.end(),
              [](const auto& a, const auto& b) { return Before(a.first, b.first); });
    if (submissions.size() == files.size())
      Refuse("no submission folders in " + options.target);
  } else {
    submissions.emplace_back("", options.target);
  }
  std::vector<Unit> units;
  for (const std::string& program : programs) {
    Unit read{.program = program};
    try {
      std::vector<Transcript> rows = RowsOf(sources, program);
      for (const std::string& name : options.names) {
        if (!name.starts_with(program + "/")) continue;
        std::string only = name.substr(program.size() + 1);
        auto row = std::find_if(rows.begin(), rows.end(),
                                [&](const Transcript& it) { return it.name == only; });
        if (row == rows.end()) Refuse(program + " has no row " + only);
        read.rows.push_back(*row);
      }
      if (read.rows.empty()) read.rows = rows;
      read.worth = WorthOf(options.points, program, rows, read.rows);
    } catch (const std::runtime_error& why) {
      read.broken = why.what();
    }
    for (const auto& [submission, folder] : submissions) {
      Unit unit = read;
      unit.submission = submission;
      unit.folder = folder;
      unit.bounds = BoundsOf(options, folder);
      if (folder.empty()) {
        unit.before =
            Verdict{Word::kMissing, "a file",
                    Visible(submission) + " is a file, not a folder: unpack it"};
      } else {
        Locate(unit, options);
      }
      units.push_back(std::move(unit));
    }
  }
  // A submission's programs together, in the order of the list.
  std::stable_sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) {
    return Before(a.submission, b.submission);
  });
  return units;
}

// Each unit whose sources stand in its folder built, several at once, as rows run:
// what it starts, or why it cannot, and a note of what its compiler said.
void BuildAll(std::vector<Unit>& units, const Options& options, unsigned jobs) {
  Compilers compilers = CompilersFrom(options.cxx, options.cc);
  TidyCache();
  std::atomic<std::size_t> taken{0};
  std::vector<std::thread> workers(jobs);
  for (std::thread& worker : workers) {
    worker = std::thread([&] {
      for (std::size_t at; !StopSignal() && (at = taken++) < units.size();) {
        Unit& unit = units[at];
        if (unit.from.empty() || unit.before) continue;
        Build build;
        try {
          build = BuildFrom(unit.folder, unit.program, compilers, unit.bounds);
        } catch (const std::exception& why) {  // a worker's failure is its unit's alone
          build.why = std::string("the checker could not build it: ") + why.what();
        }
        std::string name =
            (unit.submission.empty() ? "" : Visible(unit.submission) + ": ") +
            unit.program;
        if (build.refused) {
          std::string first = Visible(FirstSaying(build.said, "error"));
          unit.before = Verdict{Word::kCompileError, first,
                                "does not compile: " + Visible(build.from)};
          unit.note =
              name + ": the compiler's first words on " + Visible(build.from) + ":\n";
          std::istringstream lines(build.said);
          for (std::string line; std::getline(lines, line);) {
            unit.note += "  ! " + Visible(line).substr(0, 116) + "\n";
          }
        } else if (!build.why.empty()) {
          unit.before = Verdict{Word::kCannotStart, build.why,
                                "could not be started: " + Visible(build.why)};
        } else {
          unit.command = build.command;
          unit.bounds.readable.push_back(
              TextOf(PathOf(build.command.back()).parent_path()));
          unit.note = name + ": built from " + Visible(build.from);
          if (build.warnings > 0) {
            unit.note += "; " + std::to_string(build.warnings) + " warning" +
                         (build.warnings > 1 ? "s" : "") + "; the first: " +
                         Visible(FirstSaying(build.said, "warning")).substr(0, 200);
          }
          unit.note += "\n";
        }
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  if (StopSignal()) EndAsStopped();
}

RowResult RunRow(const Unit& unit, const Transcript& row, const Options& options) {
  RowResult outcome{
      .submission = unit.submission,
      .program = unit.program,
      .row = row.name,
      .worth = unit.worth[static_cast<std::size_t>(&row - unit.rows.data())]};
  if (unit.before) {
    outcome.verdict = *unit.before;
    return outcome;
  }
  ProgramRun run = RunOnce(unit.command, row.input, unit.bounds);
  outcome.verdict = VerdictOf(row, run, unit.bounds, options.crlf);
  outcome.seconds = run.seconds;
  if (!outcome.verdict.Passed()) {
    std::string rerun = options.rerun + " --against " + Quoted(unit.folder);
    char text[64];
    if (options.seconds != Options{}.seconds) {
      std::snprintf(text, sizeof text, " --seconds %g", options.seconds);
      rerun += text;
    }
    if (options.wait != Options{}.wait) {
      std::snprintf(text, sizeof text, " --wait %g", options.wait);
      rerun += text;
    }
    if (options.megabytes != Options{}.megabytes) {
      rerun += " --memory " + std::to_string(options.megabytes);
    }
    for (const std::string& variable : options.environment) {
      rerun += " --env " + Quoted(variable);
    }
    if (options.crlf) rerun += " --crlf";
    outcome.report = Report(row, run, outcome.verdict,
                            Visible(rerun) + " " + row.program + "/" + row.name);
  }
  outcome.wrote_crlf = WritesCrlf(run.output);
  return outcome;
}

char Mark(const Verdict& verdict) {
  return About(verdict.word).mark;
}

// The columns `text` takes on a terminal: a character one, a wide one (CJK, emoji) two,
// a combining accent none.
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = static_cast<unsigned char>(text[at]);
    std::size_t length = std::max<std::size_t>(1, Utf8Length(text, at, &c));
    at += length;
    bool combining = (c >= 0x300 && c < 0x370) || (c >= 0x20d0 && c < 0x2100);
    bool wide = (c >= 0x1100 && c < 0x1160) || (c >= 0x2e80 && c < 0xa4d0) ||
                (c >= 0xac00 && c < 0xd7a4) || (c >= 0xf900 && c < 0xfb00) ||
                (c >= 0xfe30 && c < 0xfe50) || (c >= 0xff00 && c < 0xff61) ||
                (c >= 0xffe0 && c < 0xffe7) || (c >= 0x1f300 && c < 0x1fa00) ||
                (c >= 0x20000 && c < 0x3fffe);
    columns += combining ? 0 : wide ? 2 : 1;
  }
  return columns;
}

std::string Padded(const std::string& text, std::size_t width) {
  std::size_t columns = Columns(text);
  return columns >= width ? text : text + std::string(width - columns, ' ');
}

struct Counts {
  int passed = 0;
  int failed = 0;
  int missing = 0;  // programs
  int broken = 0;   // programs whose rows cannot be read
};

// One line for `unit`, a mark a row as `next` gives its result; then its first failure
// in full, one that is more than line ends where there is one, and the rest by name,
// since one fault often fails many rows.
template <typename Next>
void Tell(const Unit& unit, bool each, bool crlf, bool all, Next next, Counts& counts) {
  std::string label = each ? Padded(Visible(unit.submission), 14) + " " : "";
  label += Padded(unit.program, 14) + " ";
  if (!unit.broken.empty()) {
    std::printf("%scannot read its rows: %s\n", label.c_str(), unit.broken.c_str());
    ++counts.broken;
    return;
  }
  std::fputs(label.c_str(), stdout);
  std::vector<const RowResult*> bad;
  bool crlf_written = false;
  for (std::size_t i = 0; i < unit.rows.size(); ++i) {
    const RowResult& result = next();
    if (!unit.before) std::fputc(Mark(result.verdict), stdout);
    std::fflush(stdout);
    crlf_written = crlf_written || result.wrote_crlf;
    if (!result.verdict.Passed()) bad.push_back(&result);
  }
  counts.passed += static_cast<int>(unit.rows.size() - bad.size());
  counts.failed += static_cast<int>(bad.size());
  if (unit.before) {  // missing, or not a program: one line says it for every row
    std::printf("%s\n%s", unit.before->said.c_str(), unit.note.c_str());
    counts.missing += About(unit.before->word).missing;
    return;
  }
  // Rows that differ only in their line ends are one mistake, counted apart.
  auto line_ends = [](const RowResult* result) {
    return result->verdict.detail == "line-ends";
  };
  std::stable_partition(bad.begin(), bad.end(), [&](auto* it) { return !line_ends(it); });
  std::size_t only_ends =
      static_cast<std::size_t>(std::count_if(bad.begin(), bad.end(), line_ends));
  std::printf(
      " %zu passed, %zu failed%s\n%s", unit.rows.size() - bad.size(), bad.size(),
      only_ends > 0
          ? (", " + std::to_string(only_ends) + " of them only in line ends").c_str()
          : "",
      unit.note.c_str());
  if (crlf_written) std::fputs(CrlfNote(unit.program, crlf).c_str(), stdout);
  if (bad.empty()) return;
  // In full: every failing row, with --all or where rows were named; else the first.
  std::size_t in_full = all ? bad.size() : 1;
  for (std::size_t i = 0; i < bad.size(); ++i) {
    if (i < in_full) {
      std::fputs(((each ? Visible(unit.submission) + ": " : "") + bad[i]->report).c_str(),
                 stdout);
    }
  }
  std::string others, ends;
  for (std::size_t i = in_full; i < bad.size(); ++i) {
    (line_ends(bad[i]) ? ends : others) += " " + bad[i]->row;
  }
  if (!others.empty() || !ends.empty()) {
    std::printf("%s also failed:%s%s%s\n", unit.program.c_str(), others.c_str(),
                ends.empty()     ? ""
                : others.empty() ? " only in line ends:"
                                 : "; only in line ends:",
                ends.c_str());
  }
}

// A line a submission: its counts and what failed, for a person to grade by.
void TellClass(const std::vector<RowResult>& results) {
  std::printf("== each submission\n%s points    max passed failed  what failed\n",
              Padded("submission", 14).c_str());
  std::size_t at = 0;
  for (const Summary& summary : Summaries(results)) {
    std::map<std::string, int> what;
    for (; at < results.size() && results[at].submission == summary.submission; ++at) {
      if (!results[at].verdict.Passed())
        ++what[results[at].program + " " + results[at].verdict.Name()];
    }
    std::string failures;
    for (const auto& [kind, rows] : what) {
      failures += (failures.empty() ? "  " : ", ") + kind + " " + std::to_string(rows);
    }
    std::printf("%s %6.4g %6.4g %6d %6d%s\n",
                Padded(Visible(summary.submission), 14).c_str(), summary.points,
                summary.max, summary.passed, summary.failed, failures.c_str());
  }
}

// Whether a file can be made beside `path`, where the results will go: tried by making
// one and removing it, before any row runs.
bool CanWriteBeside(const std::string& path) {
  std::string temporary = WriteNew(path, "");
  std::error_code error;
  if (!temporary.empty()) std::filesystem::remove(PathOf(temporary), error);
  return !temporary.empty();
}

// The results written whole beside `path`, in a file of their own no other checker
// shares, then put in its place at once: a reader, a stop or a program meets the old
// file or the new one, never a mix.
bool WriteWhole(const std::string& path, const std::vector<RowResult>& results,
                void (*write)(std::ostream&, const std::vector<RowResult>&)) {
  std::ostringstream text;
  write(text, results);
  std::string temporary = WriteNew(path, text.str());
  if (temporary.empty()) return false;
  std::error_code error;
  std::filesystem::rename(PathOf(temporary), PathOf(path), error);
  if (error) {
    std::filesystem::remove(PathOf(temporary), error);
    errno = error.value();
    return false;
  }
  return true;
}

// A class's rows, and results its students read, are not run as the person who grades
// where nothing else can be had, unless the person says so.
void RefuseToRunAsMe(const Options& options) {
  Holding held = Held();
  bool grading = options.mode == "--each" || !options.gradescope.empty();
  if (!grading || options.as_me || held.apart || held.own_users || !options.wine.empty())
    return;
  Refuse(std::string(options.mode == "--each" ? "--each" : "--gradescope") +
         ": rows would run as you, your files in their reach: this system lets the "
         "checker neither change user (it is not root) nor make namespaces (" +
         kNamespacesRefused + "); --run-as-me grades anyway");
}

int Check(const Options& options, const Sources& sources) {
  RefuseToRunAsMe(options);
  std::vector<Unit> units = Plan(options, sources);
  unsigned jobs =
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  BuildAll(units, options, jobs);
  const std::pair<const std::string*,
                  void (*)(std::ostream&, const std::vector<RowResult>&)>
      kFiles[] = {{&options.json, WriteJson},
                  {&options.junit, WriteJunit},
                  {&options.csv, WriteCsv},
                  {&options.gradescope, WriteGradescope},
                  {&options.html, WriteHtml}};
  for (const auto& [path, write] : kFiles) {
    if (!path->empty() && !CanWriteBeside(*path)) Refuse(*path + ": cannot be written");
  }
  // Every row in order; workers take the next one, one a processor, since a row is
  // judged by the processor time it uses; the person sees them in order.
  std::vector<std::pair<const Unit*, const Transcript*>> work;
  for (const Unit& unit : units) {
    for (const Transcript& row : unit.rows) work.emplace_back(&unit, &row);
  }
  std::vector<RowResult> results(work.size());
  std::vector<char> ready(work.size(), 0);
  std::mutex guard;
  std::condition_variable came;
  std::atomic<std::size_t> taken{0};
  std::vector<std::thread> workers(std::min<std::size_t>(work.size(), jobs));
  for (std::thread& worker : workers) {
    worker = std::thread([&] {
      for (std::size_t at; !StopSignal() && (at = taken++) < work.size();) {
        RowResult result = RunRow(*work[at].first, *work[at].second, options);
        std::lock_guard<std::mutex> hold(guard);
        results[at] = std::move(result);
        ready[at] = 1;
        came.notify_all();
      }
    });
  }

  bool each = options.mode == "--each";
  char bound[96];
  std::snprintf(bound, sizeof bound, "at most %g s of processor and %zu MB",
                options.seconds, options.megabytes);
  std::printf("== the transcripts against %s %s; %s, %s\n",
              each ? "each submission in" : "the programs in",
              Visible(options.target).c_str(), HeldInWords(options.wine.empty()).c_str(),
              bound);
  Counts counts;
  std::size_t at = 0;
  // Waits for the next row's result, or for a stop.
  auto next = [&]() -> const RowResult& {
    std::unique_lock<std::mutex> hold(guard);
    while (!came.wait_for(hold, std::chrono::milliseconds(50),
                          [&] { return ready[at] != 0; })) {
      if (StopSignal()) {
        hold.unlock();
        for (std::thread& worker : workers) worker.join();
        EndAsStopped();  // the old results files as they were
      }
    }
    return results[at++];
  };
  bool rows_named =
      std::any_of(options.names.begin(), options.names.end(),
                  [](const std::string& name) { return name.find('/') != name.npos; });
  for (const Unit& unit : units) {
    Tell(unit, each, options.crlf, options.all || rows_named, next, counts);
  }
  for (std::thread& worker : workers) worker.join();
  if (StopSignal()) EndAsStopped();
  if (each) TellClass(results);
  if (counts.missing > 0 && !each) {
    std::printf("%d of the programs missing from %s\n", counts.missing,
                Visible(options.target).c_str());
  }
  std::printf("tests: %d passed, %d failed\n", counts.passed, counts.failed);
  for (const auto& [path, write] : kFiles) {
    if (!path->empty() && !WriteWhole(*path, results, write)) {
      std::fprintf(stderr, "suitecheck: %s: write error: %s\n", Visible(*path).c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  return counts.failed == 0 && counts.missing == 0 && counts.broken == 0 ? 0 : 1;
}

int Export(const Options& options, const Sources& sources) {
  std::vector<Transcript> rows;
  for (const std::string& program : ProgramsNamed(options.names)) {
    try {
      for (Transcript& row : RowsOf(sources, program)) rows.push_back(std::move(row));
    } catch (const std::runtime_error& why) {
      std::fprintf(stderr, "suitecheck: %s\n", why.what());
      return 1;
    }
  }
  // An earlier export is replaced whole, so that no row of it is left stale; a folder
  // holding anything else is no place for one.
  std::filesystem::path folder = PathOf(options.target);
  std::error_code error;
  std::vector<std::filesystem::path> earlier;
  bool exported = false;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string name = TextOf(entry.path().filename());
    if (name == "README.md") {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string first;
      std::getline(in, first);
      exported = first == "# The rows of the console suite, for other graders";
    } else if (!entry.is_directory(error) || !IsProgram(name)) {
      Refuse(options.target + " holds " + name +
             ", no part of an export: export into an empty or new folder");
    }
    earlier.push_back(entry.path());
  }
  if (!earlier.empty() && !exported) {
    Refuse(options.target + " holds folders but no export's README: export elsewhere");
  }
  for (const auto& path : earlier) std::filesystem::remove_all(path, error);
  Export(options.target, rows);
  return 0;
}

// Runs the program built beside the checker on the input given, shows the row and adds
// it to the program's file; a row of that name is rewritten only with --replace. The
// file is held while it is read and rewritten, and replaced whole, so that two records
// at once both land.
int Record(const Options& options, const Sources& sources) {
  const std::string& name = options.target;
  std::size_t slash = name.find('/');
  std::string program = name.substr(0, slash);
  std::string row_name = slash == name.npos ? "" : name.substr(slash + 1);
  if (!IsProgram(program) || !IsName(row_name)) {
    Refuse("not PROGRAM/ROW, a row's name letters, digits and _: " + name);
  }
  if (row_name == "page")
    Refuse("page is the row of the page's example: name it otherwise");
  std::string input;
  char chunk[1 << 16];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
    input.append(chunk, got);
    if (input.size() > kMostInput)
      Refuse("the input is over 1 MiB, far past any row's: no row made");
  }
  Transcript row{.program = program, .name = row_name, .input = input};
  ProgramRun run = RunOnce({InFolder(OwnFolder(), ProgramFile(program))}, input,
                           {.memory = std::size_t{512} << 20});
  if (run.ending != Ending::kExited || run.status != 0) {
    Refuse(program + " did not end by itself with status 0: no row made");
  }
  row.output = run.output;
  long long held = Lock(sources.transcripts);
  if (held == -1) Refuse(sources.transcripts + ": cannot be held for writing");
  // Through a link, to the file it names: the link stays.
  std::string path = FileOf(sources.transcripts, program);
  std::error_code linked;
  if (std::filesystem::is_symlink(PathOf(path), linked)) {
    path = TextOf(std::filesystem::canonical(PathOf(path), linked));
  }
  std::vector<Transcript> rows = TranscriptsOf(sources.transcripts, program);  // its form
  bool exists = std::any_of(rows.begin(), rows.end(),
                            [&](const Transcript& old) { return old.name == row_name; });
  if (exists && !options.replace) {
    Refuse(name + " is a row already; --replace rewrites it");
  }
  std::ifstream in(PathOf(path), std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  std::string made = RowText(row);
  if (!exists) {
    text += (text.empty() || text.ends_with("\n\n") ? "" : "\n") + made;
  } else {
    // The whole row: its header and every line up to its last < or > line, comments
    // among them; a reason on the header stays.
    std::size_t at = text.find("\n== " + row_name + "\n");
    if (at == text.npos) at = text.find("\n== " + row_name + " ");
    std::size_t header_end = text.find('\n', at + 1);
    std::size_t end = header_end;
    for (std::size_t line = header_end; line != text.npos && line + 1 < text.size();
         line = text.find('\n', line + 1)) {
      if (text.compare(line + 1, 3, "== ") == 0) break;
      if (text[line + 1] == '<' || text[line + 1] == '>') end = text.find('\n', line + 1);
    }
    text.replace(header_end + 1, end - header_end, made.substr(made.find('\n') + 1));
  }
  std::string temporary = path + ".new";
  {
    std::ofstream out(PathOf(temporary), std::ios::binary);
    out << text;
    out.close();
    std::error_code error;
    if (!out ||
        (std::filesystem::rename(PathOf(temporary), PathOf(path), error), error)) {
      std::filesystem::remove(PathOf(temporary), error);
      Refuse(path + ": cannot be written");
    }
  }
  Unlock(held);
  std::fputs(made.c_str(), stdout);
  std::printf("%s %s; git diff shows it\n", exists ? "rewritten in" : "added to",
              Visible(path).c_str());
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options = Parsed(Arguments(argc, argv), argc > 0 ? argv[0] : "suitecheck");
  // A class's rows end as a whole when stopped; a record or an export stops at once.
  PrepareToRun(options.mode == "--against" || options.mode == "--each");
  Sources sources = FindSources();
  int status = 0;
  try {
    if (options.mode == "--record") {
      status = Record(options, sources);
    } else if (options.mode == "--export") {
      status = Export(options, sources);
    } else {
      status = Check(options, sources);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "suitecheck: %s\n", Visible(error.what()).c_str());
    return 1;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "suitecheck: write error: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}
