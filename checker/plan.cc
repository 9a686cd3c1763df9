// The plan of a check: every program of every submission, located (or what stands in
// its place), worth its points and bounded; then each built from its sources.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "build.h"
#include "check.h"

namespace {

constexpr int kMostProcesses = 64;  // a row's at once: past any student program's

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

// Names in the order a person looks for them: without regard to case, then as bytes.
bool Before(const std::string& a, const std::string& b) {
  std::string x = Lower(a);
  std::string y = Lower(b);
  return x != y ? x < y : a < b;
}

}  // namespace

std::vector<Unit> Plan(const Options& options, const Sources& sources, Class* found) {
  std::vector<std::string> programs = ProgramsNamed(options.names);
  const Assignment& assignment = options.assignment;
  if (!assignment.parts.empty()) {  // the names choose among the assignment's programs
    for (const std::string& name : options.names) {
      if (std::string program = name.substr(0, name.find('/'));
          !Assigned(assignment, program))
        Refuse(program + " is no part of the assignment " + assignment.file);
    }
    std::erase_if(programs, [&](auto& it) { return !Assigned(assignment, it); });
  }
  std::vector<Student> submissions;
  std::error_code error;
  if (options.mode == "--each") {
    *found = ClassIn(options.target);
    submissions = found->students;
    std::sort(
        submissions.begin(), submissions.end(),
        [](const Student& a, const Student& b) { return Before(a.shown, b.shown); });
    std::sort(found->left_out.begin(), found->left_out.end(), Before);
  } else if (std::filesystem::is_regular_file(PathOf(options.target), error)) {
    std::string folder = TextOf(PathOf(options.target).parent_path());
    Refuse(options.target + " is a file, not a folder: " + options.mode +
           " takes the folder that holds the programs, " +
           (folder.empty() ? "." : folder));
  } else if (!std::filesystem::is_directory(PathOf(options.target), error)) {
    Refuse("no folder " + options.target);
  } else {
    submissions.push_back({.folder = options.target});
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
      std::vector<Counted> share;
      for (const Transcript& row : rows) share.push_back({.row = row.name});
      if (!assignment.parts.empty()) share = ShareOf(assignment, program, rows);
      std::vector<Transcript> chosen;
      for (const Transcript& row : read.rows) {
        auto counted = std::find_if(share.begin(), share.end(), [&](const Counted& it) {
          return it.row == row.name;
        });
        if (counted != share.end()) {
          chosen.push_back(row);
          read.counted.push_back(*counted);
        } else if (read.rows.size() < rows.size()) {  // a row named that does not count
          Refuse(program + "/" + row.name + " is no part of the assignment " +
                 assignment.file);
        }
      }
      read.rows = std::move(chosen);
    } catch (const std::runtime_error& why) {
      read.broken = why.what();
    }
    for (const Student& student : submissions) {
      Unit unit = read;
      unit.submission = student.shown;
      unit.folder = student.folder;
      unit.gathered = student.gathered;
      unit.bounds = BoundsOf(options, student.folder);
      if (!student.refused.empty()) {
        unit.before = Verdict{Word::kCannotStart, "refused",
                              "could not be graded: " + student.refused};
      } else {
        Locate(unit, options);
        // The checker's copy is gone after the run: what stands is named by itself.
        if (unit.before && unit.gathered) {
          std::string& said = unit.before->said;
          std::string copy = Visible(InFolder(unit.folder, ""));
          for (std::size_t at; (at = said.find(copy)) != said.npos;)
            said.erase(at, copy.size());
        }
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
        } else if (std::string path = InFolder(unit.folder, ProgramFile(unit.program));
                   build.no_compiler && KindOf(path) == FileKind::kProgram) {
          // The program handed in beside its source is checked as it is.
          unit.command = {Absolute(path)};
          unit.note = name + ": " + Visible(build.from) + " not built (" +
                      Visible(build.why) + "); " + Visible(ProgramFile(unit.program)) +
                      " checked as it is\n";
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
