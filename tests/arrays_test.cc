// colsums, rowsums and mirror, whatever stands on their input, and mirror's Reverse.
#include <cstdint>
#include <vector>

#include "console.h"
#include "transcript.h"

// mirror's own Reverse, taken from its source: in a namespace of its own, mirror's main
// is an ordinary function there, and the test's main stays the one that runs.
namespace mirror {
#include "../arrays/mirror.cc"
}  // namespace mirror

namespace {

#define COLUMNS                                                         \
  "Column 1 sum = 18.000000\nColumn 2 sum = 21.000000\nColumn 3 sum = " \
  "24.000000\nColumn "                                                  \
  "4 sum = 27.000000\nColumn 5 sum = 30.000000\n"
#define ROWS "Row 1 sum = 15.000000\nRow 2 sum = 40.000000\nRow 3 sum = 65.000000\n"
#define MIRRORED                                                                         \
  "Contents of y array #0 : 5\nContents of y array #1 : 4\nContents of y array #2 : 3\n" \
  "Contents of y array #3 : 2\nContents of y array #4 : 1\n"

const Transcript kArrays[] = {
    {"colsums", "colsums", "", COLUMNS},
    {"colsums_ignores_input", "colsums", "1 2 3\nq\n", COLUMNS},
    {"rowsums", "rowsums", "", ROWS},
    {"rowsums_ignores_input", "rowsums", "x", ROWS},
    {"mirror", "mirror", "", MIRRORED},
    {"mirror_ignores_input", "mirror", "5 4 3 2 1", MIRRORED},
};

INSTANTIATE_TEST_SUITE_P(Arrays, TranscriptTest, testing::ValuesIn(kArrays), RowName);

TEST(Mirror, ReverseCopiesCountEntriesAndNoMore) {
  struct Row {
    std::int32_t count;
    std::vector<std::int32_t> destination;
  };
  const std::int32_t source[5] = {1, 2, 3, 4, 5};
  const Row rows[] = {
      {5, {5, 4, 3, 2, 1}}, {3, {3, 2, 1, 9, 9}},  {1, {1, 9, 9, 9, 9}},
      {0, {9, 9, 9, 9, 9}}, {-2, {9, 9, 9, 9, 9}},
  };
  for (const Row& row : rows) {
    std::vector<std::int32_t> destination(5, 9);
    mirror::Reverse(source, destination.data(), row.count);
    EXPECT_EQ(destination, row.destination) << row.count;
  }
}

}  // namespace

Tables ArraysTables() {
  return {kArrays};
}
