#include "transcript.h"

#include "run.h"

std::vector<Transcript>& ListedTranscripts() {
  static std::vector<Transcript> rows;
  return rows;
}

std::string RowName(const testing::TestParamInfo<Transcript>& info) {
  return info.param.name;
}

TEST_P(TranscriptTest, WritesExactly) {
  const Transcript& row = GetParam();
  RunResult run = RunProgram(row.program, row.input);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, row.output);
}
