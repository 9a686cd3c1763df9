// driprate's menu as its transcripts expect it: a table whose right-hand texts line up.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "transcript.h"

namespace {

TEST(Driprate, MenuLinesHaveTheirLengths) {
  std::vector<Transcript> rows = TranscriptsOf(TRANSCRIPT_DIR, "driprate");
  auto quit = std::find_if(rows.begin(), rows.end(), [](const Transcript& row) {
    return row.name == "quit_first";
  });
  ASSERT_NE(quit, rows.end());
  std::istringstream menu(quit->output);
  std::string line;
  for (std::size_t length : {59u, 57u, 54u, 54u, 54u, 11u}) {
    std::getline(menu, line);
    EXPECT_EQ(line.size(), length) << line;
    if (length == 54 || length == 57) {
      EXPECT_NE(line[47], ' ') << line;  // right-hand texts start in one column
    }
  }
}

}  // namespace
