// check: holds programs to their transcripts and page examples, and reports to a person:
// a line a program with its counts, and for each row that failed, its input, the lines
// where the output differs and the command that runs it again. It also adds a row from
// the programs built here.
//
//   check --against DIR [--seconds N] [--rerun TEXT] [PROGRAM | PROGRAM/ROW]...
//   check --record PROGRAM/ROW [--replace] < INPUT
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "run.h"
#include "transcript.h"

namespace {

constexpr char kUsage[] =
    "usage: check --against DIR [--seconds N] [--rerun TEXT] [PROGRAM[/ROW]...]\n"
    "       check --record PROGRAM/ROW [--replace] < INPUT\n";

constexpr int kShownInFull = 1;
constexpr char kNameBytes[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";

[[noreturn]] void Refuse(const std::string& why) {
  std::cerr << "check: " << why << "\n";
  std::exit(2);
}

bool IsProgram(const std::string& name) {
  for (const std::string& program : AllPrograms()) {
    if (program == name) return true;
  }
  return false;
}

// The rows of `program` to run: its transcripts and its page's example, or the one
// named `only`.
std::vector<Transcript> RowsOf(const std::string& program, const std::string& only) {
  std::vector<Transcript> rows = TranscriptsOf(program);
  rows.push_back(PageExample(program));
  if (only.empty()) return rows;
  for (const Transcript& row : rows) {
    if (row.name == only) return {row};
  }
  Refuse(program + " has no row " + only);
}

int Against(const std::string& dir, double seconds, std::string rerun,
            const std::vector<std::string>& names) {
  // Each program's rows, in the order of the list: those named, or all of them. A name
  // that is not known is refused before anything runs.
  for (const std::string& name : names) {
    if (!IsProgram(name.substr(0, name.find('/')))) {
      Refuse("no program named " + name.substr(0, name.find('/')));
    }
  }
  std::vector<std::pair<std::string, std::vector<Transcript>>> work;
  for (const std::string& program : AllPrograms()) {
    std::vector<Transcript> rows;
    if (names.empty()) rows = RowsOf(program, "");
    for (const std::string& name : names) {
      if (name != program && !name.starts_with(program + "/")) continue;
      std::string only =
          name.size() > program.size() ? name.substr(program.size() + 1) : "";
      for (Transcript& row : RowsOf(program, only)) rows.push_back(std::move(row));
    }
    if (!rows.empty()) work.emplace_back(program, std::move(rows));
  }
  setenv("SUITE_BIN_DIR", dir.c_str(), 1);
  std::cout << "== the transcripts against the programs in " << dir << " (a row that has"
            << " not ended in " << seconds << " s fails)\n";
  int passed = 0;
  int failed = 0;
  int missing = 0;
  for (const auto& [program, rows] : work) {
    std::printf("%-14s ", program.c_str());
    if (access(ProgramPath(program).c_str(), X_OK) != 0) {
      std::printf("missing: no %s\n", ProgramPath(program).c_str());
      ++missing;
      continue;
    }
    // A mark a row as it ends, so that a program that hangs is seen at once; the first
    // few failures in full, the rest by name, since one fault often fails many rows.
    std::string failures;
    std::string others;
    int bad = 0;
    for (const Transcript& row : rows) {
      RunResult run = RunProgram(program, row.input, {}, seconds);
      std::string failure =
          Failure(row, run, seconds, rerun + " " + program + "/" + row.name);
      std::fputc(failure.empty() ? '.' : run.finished ? 'F' : 'T', stdout);
      std::fflush(stdout);
      if (failure.empty()) continue;
      if (++bad <= kShownInFull) {
        failures += failure;
      } else {
        others += " " + row.name;
      }
    }
    std::printf(" %zu passed, %d failed\n%s", rows.size() - static_cast<std::size_t>(bad),
                bad, failures.c_str());
    if (!others.empty())
      std::printf("%s also failed:%s\n", program.c_str(), others.c_str());
    passed += static_cast<int>(rows.size()) - bad;
    failed += bad;
  }
  if (missing > 0)
    std::printf("%d of the programs missing from %s\n", missing, dir.c_str());
  std::printf("tests: %d passed, %d failed\n", passed, failed);
  return failed == 0 && missing == 0 ? 0 : 1;
}

// Runs the program built here on the input given, shows the row and adds it to the
// program's file; a row of that name is rewritten only where `replace` says so.
int Record(const std::string& name, bool replace) {
  std::size_t slash = name.find('/');
  std::string program = name.substr(0, slash);
  if (slash == name.npos || !IsProgram(program) ||
      name.find_first_not_of(kNameBytes, slash + 1) != name.npos ||
      slash + 1 == name.size()) {
    Refuse("not PROGRAM/ROW, a row's name letters, digits and _: " + name);
  }
  // The file is read first: one that is not of the form is refused before anything.
  std::vector<Transcript> rows = TranscriptsOf(program);
  bool exists = std::any_of(rows.begin(), rows.end(), [&](const Transcript& old) {
    return old.name == name.substr(slash + 1);
  });
  if (exists && !replace) Refuse(name + " is a row already; --replace rewrites it");
  std::string input{std::istreambuf_iterator<char>(std::cin), {}};
  Transcript row{.program = program, .name = name.substr(slash + 1), .input = input};
  RunResult run = RunProgram(program, input, {}, 5);
  if (!run.finished || run.status != 0) {
    Refuse(program + " did not end by itself with status 0: no row made");
  }
  row.output = run.output;
  std::string path = std::string(TRANSCRIPT_DIR) + "/" + program + ".txt";
  std::ifstream in(path);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  std::size_t at = text.find("\n== " + row.name + "\n");
  if (at == text.npos) at = text.find("\n== " + row.name + " ");
  // A new row goes at the end; a replaced one keeps its place and its reason.
  std::string made = RowText(row);
  if (!exists) {
    text += "\n" + made;
  } else {
    std::size_t header_end = text.find('\n', at + 1);
    std::size_t end = header_end;
    while (end + 1 < text.size() && (text[end + 1] == '<' || text[end + 1] == '>')) {
      end = text.find('\n', end + 1);
    }
    text.replace(header_end + 1, end - header_end, made.substr(made.find('\n') + 1));
  }
  std::cout << made;
  std::ofstream(path) << text;
  std::cout << (exists ? "rewritten in " : "added to ") << path
            << "; git diff shows it\n";
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 2 && args[0] == "--record") {
      if (args.size() > 3 || (args.size() == 3 && args[2] != "--replace")) Refuse(kUsage);
      return Record(args[1], args.size() == 3);
    }
    if (args.size() < 2 || args[0] != "--against") {
      std::cerr << kUsage;
      return 2;
    }
    std::string dir = args[1];
    double seconds = 5;
    std::string rerun = "check --against " + dir;
    std::vector<std::string> names;
    for (std::size_t i = 2; i < args.size(); ++i) {
      if (args[i] == "--seconds" && i + 1 < args.size()) {
        seconds = std::atof(args[++i].c_str());
      } else if (args[i] == "--rerun" && i + 1 < args.size()) {
        rerun = args[++i];
      } else {
        names.push_back(args[i]);
      }
    }
    if (seconds <= 0) Refuse("--seconds takes a number of seconds");
    return Against(dir, seconds, rerun, names);
  } catch (const std::exception& error) {
    std::cerr << "check: " << error.what() << "\n";
    return 2;
  }
}
