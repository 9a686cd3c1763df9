// The console layer: each row is a text, the reads made of it, what each read gave,
// and what is left for the reads after them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "format.h"
#include "input.h"
#include "run.h"

using namespace std::string_view_literals;

namespace {

struct ReadRow {
  std::string_view input;
  const char* reads;  // i integer, r real, w word, c character, b character after blanks
  std::string_view got;  // per read: the value, ! for no valid value, $ for the end
  std::string_view left;
};

// What one read gave, as text: integers in decimal, reals with 17 digits, words in
// brackets and characters in quotes.
std::string Describe(Outcome outcome, const std::string& value) {
  if (outcome == Outcome::kInvalid) return "!";
  if (outcome == Outcome::kEnd) return "$";
  return value;
}

std::string DoReads(Input& in, const char* reads) {
  std::string got;
  for (const char* kind = reads; *kind; ++kind) {
    std::int32_t integer = 7;
    double real = 7;
    std::string word = "?";
    char c = '?';
    std::string value;
    Outcome outcome;
    switch (*kind) {
      case 'i':
        outcome = ReadInteger(integer, in);
        value = std::to_string(integer);
        break;
      case 'r': {
        outcome = ReadReal(real, in);
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", real);
        value = text;
        break;
      }
      case 'w':
        outcome = ReadWord(word, in);
        value = "[" + word + "]";
        break;
      default:
        outcome = *kind == 'c' ? ReadChar(c, in) : ReadCharAfterBlanks(c, in);
        value = std::string("'") + c + "'";
    }
    if (outcome != Outcome::kStored) {
      // A read that stores nothing leaves its target as it was.
      EXPECT_TRUE(integer == 7 && real == 7 && word == "?" && c == '?') << *kind;
    }
    if (!got.empty()) got += ' ';
    got += Describe(outcome, value);
  }
  return got;
}

std::string Unread(Input& in) {
  std::string rest;
  char c;
  while (ReadChar(c, in) == Outcome::kStored) rest += c;
  return rest;
}

// Feeds `text` through a pipe one byte per write, so that reads meet the end of what
// has arrived in the middle of their values.
Input TrickleInput(std::string_view text, std::thread& writer) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  writer = std::thread([text, fd = fds[1]] {
    for (char c : text) EXPECT_EQ(write(fd, &c, 1), 1);
    close(fd);
  });
  return DescriptorInput(fds[0]);
}

const ReadRow kReadRows[] = {
    // Integers.
    {"42", "i", "42", ""},
    {"  \n\t-17 rest", "i", "-17", " rest"},
    {"+5", "i", "5", ""},
    {"-", "i", "!", "-"},
    {"+ 5", "i", "!", "+ 5"},
    {"--5", "i", "!", "--5"},
    {"12.5", "i", "12", ".5"},
    {"10dollars", "i", "10", "dollars"},
    {"2147483647", "i", "2147483647", ""},
    {"-2147483648", "i", "-2147483648", ""},
    {"2147483648", "i", "!", "2147483648"},
    {"-2147483649 1", "i", "!", "-2147483649 1"},
    {"99999999999999999999999", "i", "!", "99999999999999999999999"},
    {"0000000000000000000000042", "i", "42", ""},
    {"0x10", "i", "0", "x10"},
    {"1e5", "i", "1", "e5"},
    {"abc", "i", "!", "abc"},
    {"", "i", "$", ""},
    {" \n\t\r\v\f", "i", "$", ""},
    // Reals.
    {"3.25", "r", "3.25", ""},
    {"1e5", "r", "100000", ""},
    {"1E-2x", "r", "0.01", "x"},
    {"1e", "r", "1", "e"},
    {"1e+", "r", "1", "e+"},
    {"1e-x", "r", "1", "e-x"},
    {"1.e5", "r", "100000", ""},
    {".5", "r", "0.5", ""},
    {"1.", "r", "1", ""},
    {"-.5", "r", "-0.5", ""},
    {"+.25", "r", "0.25", ""},
    {"-0", "r", "-0", ""},
    {".", "r", "!", "."},
    {"-", "r", "!", "-"},
    {"+", "r", "!", "+"},
    {".e5", "r", "!", ".e5"},
    {"-.e5", "r", "!", "-.e5"},
    {"e5", "r", "!", "e5"},
    {"inf", "r", "!", "inf"},
    {"-infinity", "r", "!", "-infinity"},
    {"nan", "r", "!", "nan"},
    {"0x10", "r", "0", "x10"},
    {"0.1", "r", "0.10000000000000001", ""},
    {"1e400", "r", "inf", ""},
    {"-1e400", "r", "-inf", ""},
    {"1e-400", "r", "0", ""},
    {"-1e-400", "r", "-0", ""},
    {"3e-324", "r", "4.9406564584124654e-324", ""},
    {"2.2250738585072011e-308", "r", "2.2250738585072009e-308", ""},
    {"1.7976931348623157e308", "r", "1.7976931348623157e+308", ""},
    {"1.7976931348623159e308", "r", "inf", ""},
    {"0.000000000000000000000000000001e30", "r", "1", ""},
    {"", "r", "$", ""},
    // Words and characters.
    {"  Ann Lee", "ww", "[Ann] [Lee]", ""},
    {"h\xc3\xa9llo\xff w", "w", "[h\xc3\xa9llo\xff]", " w"},
    {"a\0b c"sv, "w", "[a\0b]"sv, " c"},
    {"   ", "w", "$", ""},
    {" x", "c", "' '", "x"},
    {" \n x", "b", "'x'", ""},
    {"\n", "c", "'\n'", ""},
    {"", "c", "$", ""},
    {"  ", "b", "$", ""},
    // Several reads in turn.
    {"12 abc", "ii", "12 !", "abc"},
    {"12 ", "ii", "12 $", ""},
    {"3 4.5 word", "irw", "3 4.5 [word]", ""},
    {"+ abc", "br", "'+' !", "abc"},
    {"10.5 x", "ir", "10 0.5", " x"},
    {"1 100 15\n", "iri", "1 100 15", "\n"},
};

class ReadTest : public testing::TestWithParam<ReadRow> {};

void ExpectReads(const ReadRow& row, Input& in) {
  EXPECT_EQ(DoReads(in, row.reads), row.got);
  EXPECT_EQ(Unread(in), row.left);
}

TEST_P(ReadTest, FromText) {
  Input in = TextInput(GetParam().input);
  ExpectReads(GetParam(), in);
}

TEST_P(ReadTest, FromTricklingPipe) {
  std::thread writer;
  Input in = TrickleInput(GetParam().input, writer);
  ExpectReads(GetParam(), in);
  writer.join();
  close(in.fd);
}

INSTANTIATE_TEST_SUITE_P(Console, ReadTest, testing::ValuesIn(kReadRows));

TEST(Console, LongWordsAndNumbersCrossEveryRefill) {
  std::string word(3 << 20, 'x');
  std::string digits = "-" + std::string(200000, '0') + "17.5e-1";
  std::string text = word + " " + digits + " " + std::string(70000, ' ') + "!";
  int fd = InputFile(text);
  Input in = DescriptorInput(fd);
  std::string got;
  double real = 0;
  std::int32_t integer = 0;
  EXPECT_EQ(ReadWord(got, in), Outcome::kStored);
  EXPECT_EQ(got, word);
  EXPECT_EQ(ReadInteger(integer, in), Outcome::kStored);
  EXPECT_EQ(integer, -17);
  EXPECT_EQ(ReadReal(real, in), Outcome::kStored);
  EXPECT_EQ(real, 0.05);
  EXPECT_EQ(ReadReal(real, in), Outcome::kInvalid);
  EXPECT_EQ(Unread(in), "!");
  close(fd);
}

struct FormatRow {
  const char* format;
  std::initializer_list<Arg> args;
  std::string_view written;
};

std::string Formatted(std::string_view format, std::initializer_list<Arg> args) {
  std::string text;
  Format(text, format, args);
  return text;
}

TEST(Console, FormatsLikePrintf) {
  const FormatRow rows[] = {
      {"%d people.  Total age is %d.", {3, 91}, "3 people.  Total age is 91."},
      {"%d", {std::int64_t{-2147483648} * 96}, "-206158430208"},
      {"%.0f %.0f %.0f %.0f", {2.5, 17.5, -0.5, 0.5000001}, "2 18 -0 1"},
      {"%.1f|%.2f|%.4f|%f", {3.125, 0.125, 0.8157, 1.0 / 3}, "3.1|0.12|0.8157|0.333333"},
      {"%.1f %.1f %.1f %.1f", {INFINITY, -INFINITY, NAN, -NAN}, "inf -inf -nan -nan"},
      {"%s with %s", {std::string_view("Ann"), std::string_view("Lee")}, "Ann with Lee"},
      {"no conversions\t\n", {}, "no conversions\t\n"},
  };
  for (const FormatRow& row : rows) {
    EXPECT_EQ(Formatted(row.format, row.args), row.written) << row.format;
  }
}

// A format and its values' kinds, checked while compiling.
using enum Arg::Kind;
static_assert(Fits("%d people.  Total age is %d.", {kInteger, kInteger}));
static_assert(Fits("%.2f|%f|%s", {kReal, kReal, kText}));
static_assert(!Fits("%d", {kReal}));
static_assert(!Fits("%f", {kText}));
static_assert(!Fits("%s and %s", {kText}));
static_assert(!Fits("%d", {kInteger, kInteger}));
static_assert(!Fits("100%", {}));

// The digits of the fast path and of the plain one, against printf's; every
// not-a-number is written as x86's printf writes 0/0.
TEST(Console, RealDigitsMatchPrintfOnASample) {
  std::mt19937_64 random(20261208);
  std::vector<double> values = {
      0.0,  -0.0,  0.5,     1.5,      2.5,     0.125,    0.375,
      1e22, 1e23,  DBL_MAX, -DBL_MAX, DBL_MIN, 4.9e-324, 9007199254740993.0,
      0.05, 2.675, 1.005,   -1e-300};
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    values.push_back(any);  // every magnitude, infinities and not-a-numbers included
    values.push_back(static_cast<double>(random() % 2000001) / 8 - 125000);  // ties
    values.push_back(std::ldexp(static_cast<double>(random() % 1000000), -20));
    values.push_back(std::uniform_real_distribution<double>(-2e9, 2e9)(random));
    values.push_back(std::ldexp(static_cast<double>(random() >> 11),
                                static_cast<int>(random() % 80) - 60));
    values.push_back(std::ldexp(static_cast<double>(random() % (1 << 30)), -50));
  }
  for (double value : values) {
    for (int decimals : {0, 1, 2, 3, 4, 6, 9}) {
      char format[] = "%.Nf";
      format[2] = static_cast<char>('0' + decimals);
      std::vector<char> expected(400);
      std::snprintf(expected.data(), expected.size(), format, value);
      std::string printf = std::isnan(value) ? "-nan" : expected.data();
      ASSERT_EQ(Formatted(format, {value}), printf) << format << " " << value;
      if (std::isnan(value)) continue;
      std::vector<char> plain(400);
      char* end =
          PlainFixedDigits(plain.data(), plain.data() + plain.size(), value, decimals);
      ASSERT_EQ(std::string(plain.data(), end), printf) << format << " " << value;
    }
  }
}

TEST(Console, LettersAndCaseAreAsciiOnly) {
  std::string letters, lowered;
  for (int c = 0; c < 256; ++c) {
    if (IsLetter(static_cast<char>(c))) letters += static_cast<char>(c);
    lowered += ToLower(static_cast<char>(c));
  }
  EXPECT_EQ(letters, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  for (int c = 0; c < 256; ++c) {
    char expected =
        c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c);
    EXPECT_EQ(lowered[static_cast<std::size_t>(c)], expected) << c;
  }
}

}  // namespace
