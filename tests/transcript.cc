#include "transcript.h"

#include "run.h"

Tables AllTables() {
  Tables all;
  for (Tables (*tables)() : {TellerTables, LoopsTables, TalliesTables, VerdictsTables,
                             FormulasTables, ArraysTables}) {
    for (std::span<const Transcript> table : tables()) all.push_back(table);
  }
  return all;
}

std::string RowName(const testing::TestParamInfo<Transcript>& info) {
  return info.param.name;
}

namespace {

// Where `got` first parts from `expected`, with a few bytes of each from there on.
std::string FirstDifference(std::string_view expected, std::string_view got) {
  std::size_t at = 0;
  while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
  std::size_t from = at < 20 ? 0 : at - 20;
  return "first difference at byte " + std::to_string(at) + ":\n  expected: " +
         testing::PrintToString(std::string(expected.substr(from, 60))) +
         "\n  written:  " + testing::PrintToString(std::string(got.substr(from, 60)));
}

}  // namespace

TEST_P(TranscriptTest, WritesExactly) {
  const Transcript& row = GetParam();
  RunResult run = RunProgram(row.program, row.input);
  EXPECT_TRUE(run.finished) << row.name << ": " << ProgramPath(row.program)
                            << " did not end by itself";
  EXPECT_EQ(run.status, 0) << row.name;
  EXPECT_TRUE(run.output == row.output)
      << row.name << ", input " << testing::PrintToString(std::string(row.input)) << "\n"
      << FirstDifference(row.output, run.output);
}
