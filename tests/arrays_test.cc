// mirror's Reverse, called as a function.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "console.h"

// mirror's own Reverse, taken from its source: in a namespace of its own, mirror's main
// is an ordinary function there, and the test's main stays the one that runs.
namespace mirror {
#include "../arrays/mirror.cc"
}  // namespace mirror

namespace {

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
