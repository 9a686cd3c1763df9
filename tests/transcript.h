// A program's behaviour as a table of transcripts: each row is one run, with the
// standard input given and the standard output expected byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

struct Transcript {
  const char* name;  // letters, digits and underscores: it names the test
  const char* program;
  std::string_view input;
  std::string_view output;
};

class TranscriptTest : public testing::TestWithParam<Transcript> {};

// Names the row in a failure message.
inline void PrintTo(const Transcript& row, std::ostream* os) {
  *os << row.name;
}

std::string RowName(const testing::TestParamInfo<Transcript>& info);
