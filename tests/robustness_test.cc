// Every program against hostile input: random streams of the tokens these programs
// meet, very long words, lines and numbers, and every prefix of each program's own
// transcripts. Each run must end by itself with status 0, well inside its time bound,
// with output bounded by its input; under the sanitizers, with no report.
//
// A sanitized program takes five times as long to start, so the sanitized build runs a
// sample: an eighth of the random inputs and every fourth prefix. SUITE_ROBUSTNESS_COUNT
// sets the random inputs per program (200 by default, 25 under the sanitizers).

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "run.h"
#include "transcript.h"

namespace {

#ifdef SUITE_SANITIZED
constexpr int kRandomCount = 25;
constexpr std::size_t kPrefixStep = 4;
#else
constexpr int kRandomCount = 200;
constexpr std::size_t kPrefixStep = 1;
#endif

int RandomCount() {
  const char* count = std::getenv("SUITE_ROBUSTNESS_COUNT");
  return count ? std::atoi(count) : kRandomCount;
}

// One token of the kinds the dialogues meet, good and bad alike.
std::string RandomToken(std::mt19937& random) {
  // clang-format off
  static const char* const kTokens[] = {
      "0", "5", "10", "-1", "-9000", "-9e3", "50000", "49999", "50001", "2147483647",
      "-2147483648", "2147483648", "99999999999999999999999", "+", "-", "--5", "+-",
      "3.25", "-0.5", ".5", "5.", "1e5", "1e-5", "1E+3", "1e", "1e+", "1e-", ".", "-.",
      "1e400", "-1e400", "1e-400", "0x10", "inf", "nan", "-inf", "10.73", "20", "abc",
      "DONE", "done", "withdraw", "deposit", "Ann", "q", "Q", "d", "w", "W", "b", "y",
      "*", "/", "^", "x"};
  // clang-format on
  switch (random() % 6) {
    case 0:
      return std::to_string(static_cast<std::int32_t>(random()) % 200);
    case 1:  // bytes above 127
      return std::string(1 + random() % 4, static_cast<char>(128 + random() % 128));
    case 2:  // NUL and control bytes
      return std::string(1, static_cast<char>(random() % 2 ? 0 : random() % 32));
    default:
      return kTokens[random() % std::size(kTokens)];
  }
}

std::string RandomInput(std::mt19937& random) {
  static const char* const kGaps[] = {" ", "\n", "\t", "  \n ", "\r\n", "\v\f", ""};
  std::string input;
  for (std::size_t n = random() % 60; n > 0; --n) {
    input += RandomToken(random);
    input += kGaps[random() % std::size(kGaps)];
  }
  return input;
}

// Inputs of a megabyte in one word, one line or one number.
std::vector<std::string> HugeInputs() {
  constexpr std::size_t kMegabyte = 1 << 20;
  std::string line;
  while (line.size() < kMegabyte) line += "ab 12 ";
  return {
      std::string(kMegabyte, 'a'),
      std::string(kMegabyte, '7'),
      "-" + std::string(kMegabyte, '0') + "1.5e3 2",
      "1." + std::string(kMegabyte, '9') + "e99999999999999999999 1",
      std::string(kMegabyte, ' ') + "5",
      line,
      std::string(kMegabyte, '\n'),
  };
}

class Robustness : public testing::TestWithParam<std::string> {
 protected:
  void Survives(const std::string& input, const std::string& what) {
    // Thousands of runs: the leak check at each exit would take most of their time
    // under the sanitizers, and the transcripts keep it.
    Launch without_leak_check{.environment = {"ASAN_OPTIONS=detect_leaks=0"}};
    RunResult run = RunProgram(GetParam(), input, without_leak_check, 20,
                               400 * (input.size() + 1) + 65536);
    ASSERT_TRUE(run.finished) << what << ": no end within the bounds; input:\n" << input;
    ASSERT_EQ(run.status, 0) << what << "; input:\n" << input;
  }
};

TEST_P(Robustness, RandomTokens) {
  std::mt19937 random(20261208);
  for (int i = 0, count = RandomCount(); i < count; ++i) {
    Survives(RandomInput(random), "random input " + std::to_string(i));
  }
}

TEST_P(Robustness, HugeWordsLinesAndNumbers) {
  for (const std::string& input : HugeInputs()) Survives(input, "huge input");
}

TEST_P(Robustness, PrefixesOfItsTranscripts) {
  for (const Transcript& row : TranscriptsOf(TRANSCRIPT_DIR, GetParam())) {
    for (std::size_t length = 0; length < row.input.size(); length += kPrefixStep) {
      Survives(row.input.substr(0, length), row.name);
    }
    Survives(row.input, row.name);
  }
}

INSTANTIATE_TEST_SUITE_P(AllPrograms, Robustness, testing::ValuesIn(AllPrograms()),
                         [](const testing::TestParamInfo<std::string>& program) {
                           std::string name = program.param;
                           for (char& c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
