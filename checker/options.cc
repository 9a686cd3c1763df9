// The words a person gives the checker, read and refused one line at a time, its help,
// and where the rows it holds programs to stand.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "check.h"

namespace {

// The compilers a build takes where none is named, as this system's help names them.
#ifdef _WIN32
#define kCxxNamed "g++"
#define kCcNamed "gcc"
#else
#define kCxxNamed "c++"
#define kCcNamed "cc"
#endif

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
    "  --cxx CMD          the C++ compiler that builds sources (CXX, else " kCxxNamed
    ")\n"
    "  --cc CMD           the C compiler (CC, else " kCcNamed
    ")\n"
    "  --assignment FILE  grade what FILE names: PROGRAM or PROGRAM/ROW a line, with\n"
    "                     its points and `hidden` where it is (--points: the same)\n"
    "  --crlf             take \\r\\n as a line break\n"
    "  --no-dialogue      run rows only as a whole input given at once, not also\n"
    "                     typed at a terminal an answer after its prompt\n"
    "  --worksheet FILE   with --each, the gradebook the course's platform exported\n"
    "                     (Moodle's grading worksheet, Canvas's gradebook)...\n"
    "  --grades FILE      ...written here with the assignment's grades filled in\n"
    "  --column NAME      Canvas's column of the assignment\n"
    "  --absent WHAT      blank (as it was) or zero: the grade of one who handed none\n"
    "  --feedback FILE    a zip of a report a student, as Moodle takes it back\n"
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

// Where the page is: installed beside the checker as text, or in the sources.
std::string PagePlace() {
  std::filesystem::path doc =
      (PathOf(OwnFolder()) / ".." / "share" / "doc" / "suitecheck").lexically_normal();
  std::error_code error;
  if (std::filesystem::exists(doc / "suitecheck.txt", error)) {
    std::u8string text = (doc / "suitecheck.txt").u8string();
    return std::string(text.begin(), text.end()) + " (and .html)";
  }
  return "man -l " MAN_DIR "/suitecheck.1";
}

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

}  // namespace

// One line on what was refused, any byte of the person's words shown, then the usage
// where the words themselves were not of the form.
[[noreturn]] void Refuse(const std::string& why, bool usage) {
  std::fprintf(stderr, "suitecheck: %s\n%s", Visible(why).c_str(), usage ? kUsage : "");
  std::exit(2);
}

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

Options Parsed(const std::vector<std::string>& args, const std::string& self) {
  Options options;
  options.rerun = Quoted(self);
  std::string seconds, wait, memory, jobs, variable, assignment;
  const std::pair<const char*, std::string*> kValued[] = {
      {"--against", &options.target},
      {"--each", &options.target},
      {"--export", &options.target},
      {"--record", &options.target},
      {"--seconds", &seconds},
      {"--wait", &wait},
      {"--memory", &memory},
      {"--jobs", &jobs},
      {"--env", &variable},
      {"--json", &options.json},
      {"--junit", &options.junit},
      {"--csv", &options.csv},
      {"--wine", &options.wine},
      {"--rerun", &options.rerun},
      {"--cxx", &options.cxx},
      {"--cc", &options.cc},
      {"--assignment", &assignment},
      {"--points", &assignment},
      {"--gradescope", &options.gradescope},
      {"--html", &options.html},
      {"--worksheet", &options.worksheet},
      {"--grades", &options.grades},
      {"--column", &options.column},
      {"--absent", &options.absent},
      {"--feedback", &options.feedback}};
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
    } else if (word == "--no-dialogue") {
      options.dialogue = false;
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
  if (!assignment.empty()) options.assignment = AssignmentFrom(assignment);
  if ((options.worksheet.empty() || options.mode != "--each") &&
      !(options.grades + options.column + options.feedback).empty())
    Refuse("--grades, --column and --feedback go with --each and --worksheet");
  if (!options.worksheet.empty() && (options.grades.empty() || options.mode != "--each"))
    Refuse("--worksheet goes with --each, and --grades names where the filled copy goes");
  if (options.absent != "blank" && options.absent != "zero")
    Refuse("--absent takes blank or zero, not " + options.absent);
  if (options.mode == "--each" && !options.gradescope.empty())
    Refuse(
        "--gradescope takes one submission's results, as Gradescope grades each "
        "alone: give it with --against");
  const std::string* files[] = {&options.json,       &options.junit,    &options.csv,
                                &options.gradescope, &options.html,     &options.grades,
                                &options.feedback,   &options.worksheet};
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
