// What a class hands in is sources: a program built from the sources that stand for it
// in a submission's folder, by the compiler a student has, contained and bounded as a
// row is, into a cache of the checker's own (never the student's folder), so that a
// second run builds only what changed; or a Python script, run by Python 3.
#pragma once

#include <string>
#include <vector>

#include "runner.h"

struct Build {
  std::string from;                  // the sources, as the report names them; "" for none
  std::vector<std::string> command;  // how the program starts, where it can
  bool refused = false;              // the compiler refused the sources
  std::string why;                   // where it cannot start, why, for a person
  std::string said;                  // what the compiler said, its first lines
  int warnings = 0;
  bool cached = false;       // built by an earlier run
  bool no_compiler = false;  // with `why`: none was found to build it with
};

struct Compilers {
  std::string cxx, cc;  // as named: a path, or a name looked for on the PATH
};

// The compilers named by --cxx and --cc, else CXX and CC, else this system's own.
Compilers CompilersFrom(const std::string& cxx, const std::string& cc);

// The sources of `program` in `folder`, where any stand there: NAME.cpp, .cc, .cxx or
// .c, a folder NAME of such files compiled together, or NAME.py; "" for none.
std::string SourcesOf(const std::string& folder, const std::string& program);

// Builds `program` from its sources in `folder`, or finds it built; `bounds` are a row's
// (its view of the files), and are widened for a compiler.
Build BuildFrom(const std::string& folder, const std::string& program,
                const Compilers& compilers, const Bounds& bounds);

// Keeps the cache within 1 GiB, the builds used longest ago removed first, and removes
// what a checker stopped mid-build left. Called before any build of a run.
void TidyCache();

// The first line of what the compiler said that says `kind` ("error", "warning").
std::string FirstSaying(const std::string& said, const std::string& kind);
