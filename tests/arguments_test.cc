// What every program answers to arguments, which none of them takes: one row a
// behaviour, run for every program, with % standing for the program's name.
#include <gtest/gtest.h>

#include <string>

#include "run.h"
#include "transcript.h"

namespace {

struct ArgumentRow {
  const char* argument;
  int status;
  const char* output_starts;  // the usage's first line, then `about`, then:
  const char* output_ends;
  const char* error;
};

const ArgumentRow kArgumentRows[] = {
    {"--help", 0, "usage: %\n", "\nSee %(1).\n", ""},
    {"--bogus", 2, "", "", "%: takes no arguments; see %(1)\n"},
    {"212", 2, "", "", "%: takes no arguments; see %(1)\n"},
};

std::string Named(std::string text, const std::string& name) {
  for (std::size_t at; (at = text.find('%')) != text.npos;) text.replace(at, 1, name);
  return text;
}

TEST(Arguments, HelpGivesUsageAnythingElseIsRefused) {
  for (const ArgumentRow& row : kArgumentRows) {
    for (const std::string& program : AllPrograms()) {
      RunResult run =
          RunProgram(program, "212\n", {.keep_error = true, .arguments = {row.argument}});
      std::string starts = Named(row.output_starts, program);
      std::string ends = Named(row.output_ends, program);
      std::string where = program + " " + row.argument;
      EXPECT_EQ(run.status, row.status) << where;
      EXPECT_TRUE(run.output.starts_with(starts) && run.output.ends_with(ends) &&
                  run.output.size() >= starts.size() + ends.size())
          << where << " wrote " << run.output;
      EXPECT_EQ(run.error, Named(row.error, program)) << where;
    }
  }
}

}  // namespace
