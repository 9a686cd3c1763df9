// The checker's own parts, shared by its files: the options a person gives, where the
// rows stand, and a unit of the plan (one program of one submission, with its rows and
// how it is started), and the steps from options to a report.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "report.h"
#include "results.h"
#include "runner.h"
#include "transcript.h"

// Where the rows are: installed beside the checker (BIN/../share), or in the sources
// it was built from.
struct Sources {
  std::string transcripts = TRANSCRIPT_DIR;
  std::string pages = MAN_DIR;
};

// A line of an assignment: a program or one of its rows, its points in hundredths
// (-1 where not said), and whether students see it only once grades are published.
struct Part {
  std::string name;  // PROGRAM or PROGRAM/ROW
  long long cents = -1;
  bool hidden = false;
  int line = 0;
};

// What a homework holds, from the file that names it; no parts: every program named.
struct Assignment {
  std::string file;
  std::vector<Part> parts;
};

// A row that counts, with its points in hundredths.
struct Counted {
  std::string row;
  long long cents = 100;
  bool hidden = false;
};

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
  bool as_me = false;    // a class graded though its rows run as the person
  bool dialogue = true;  // each row typed at a terminal too, where one can be had
  std::string json, junit, csv, gradescope, html;
  Assignment assignment;                            // from --assignment
  std::string worksheet, grades, column, feedback;  // the platform's gradebook, filled
  std::string absent = "blank";                     // the grade of one who handed nothing
  std::string cxx, cc;                              // the compilers named
  std::string wine;   // what runs a Windows program, on another system
  std::string rerun;  // the words that start the checker, for the rerun line
  std::vector<std::string> names;
};

// One program of one submission, with its rows and how it is started.
struct Unit {
  std::string submission;  // "" when one folder is checked
  std::string folder;      // as the person gave it, or the checker's copy of it
  bool gathered = false;   // the checker's copy: named to the person by the download
  std::string program;
  std::vector<Transcript> rows;
  std::string broken;                // why its rows cannot be read
  std::vector<std::string> command;  // how it is started, where it can be
  std::optional<Verdict> before;     // missing, or not to be started, for every row
  Bounds bounds;                     // how each of its rows runs
  std::vector<Counted> counted;      // each row's points, in the order of `rows`
  std::string from;                  // the sources it is built from, "" for none
  std::string note;                  // what its build said, for the report
};

// A student of a class, as its platform names them.
struct Student {
  std::string name;    // as the platform names them
  std::string shown;   // the submission's name: told apart from a namesake, late marked
  std::string id;      // the platform's, for its gradebook; "" for a plain folder
  std::string folder;  // where its files stand: the download's, or the checker's copy
  bool gathered = false;  // into the checker's copy, which is gone after the run
  bool late = false;
  std::string refused;  // why its work cannot be graded, in one line; "" where it can
};

// A class as its download holds it.
struct Class {
  std::string platform;  // "Moodle", "Canvas", "GitHub Classroom"; "" for folders
  std::vector<Student> students;
  std::vector<std::string> left_out;  // files that are no one's submission
};

struct Counts {
  int passed = 0;
  int failed = 0;
  int missing = 0;  // programs
  int broken = 0;   // programs whose rows cannot be read
};

// One line on what was refused, any byte of the person's words shown, then the usage
// where the words themselves were not of the form; status 2.
[[noreturn]] void Refuse(const std::string& why, bool usage = false);

// options.cc: the words given, read; where the rows are; which programs are named.
Options Parsed(const std::vector<std::string>& args, const std::string& self);
Sources FindSources();
std::vector<Transcript> RowsOf(const Sources& sources, const std::string& program);
bool IsProgram(const std::string& name);
std::vector<std::string> ProgramsNamed(const std::vector<std::string>& names);

// assignment.cc: the file read, each line understood or refused with its place; whether
// it names `program`; and what each of its rows that count is worth.
Assignment AssignmentFrom(const std::string& path);
bool Assigned(const Assignment& assignment, const std::string& program);
std::vector<Counted> ShareOf(const Assignment& assignment, const std::string& program,
                             const std::vector<Transcript>& rows);

// class.cc: the students of a class in `download`, a folder or the platform's archive;
// refused in one line where it holds none.
Class ClassIn(const std::string& download);

// gradebook.cc: the platform's gradebook (--worksheet) filled for each student of
// `found` graded and written as --grades, Moodle's feedback zip with it; what it did,
// in lines for the report. Throws std::runtime_error where it cannot be written. With
// no `found`, the gradebook is only read, and refused where it cannot be filled.
std::vector<std::string> FillGradebook(const Options& options, const Class* found,
                                       const std::vector<RowResult>& results);

// plan.cc: every unit of the check, located and worth its points; then built. With
// --each, the class found goes to `found`.
std::vector<Unit> Plan(const Options& options, const Sources& sources, Class* found);
void BuildAll(std::vector<Unit>& units, const Options& options, unsigned jobs);

// tell.cc: the report to a person, a line a unit as its rows' results come (`next`),
// then the class's table.
void Tell(const Unit& unit, bool each, bool crlf, bool all,
          const std::function<const RowResult&()>& next, Counts& counts);
void TellClass(const std::vector<RowResult>& results);
// What a class's download held: its students, the late and the refused, and the files
// that are no one's.
void TellFound(const Class& found);

// record.cc: the rows written out for other graders, and a row added.
int Export(const Options& options, const Sources& sources);
int Record(const Options& options, const Sources& sources);
