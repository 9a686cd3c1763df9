// libFuzzer target for the console layer: random bytes through every kind of read in
// turn, each read checked against the layer's own promises and against the C library's
// own conversions of the text it took.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "input.h"

namespace {

void Require(bool promise) {
  if (!promise) std::abort();
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A read that stores nothing takes only the blanks before the text it stopped at, and
// tells of the end only where nothing but blanks was left.
void CheckRefusal(const Input& in, Outcome got, std::size_t blanks) {
  if (got == Outcome::kStored) return;
  Require(in.start == blanks);
  Require((got == Outcome::kEnd) == (blanks == in.stop));
}

// The text between two positions, as a C string for the C library.
std::string TextFrom(const Input& in, std::size_t from, std::size_t to) {
  return std::string(in.bytes.get() + from, to - from);
}

void CheckInteger(Input& in, std::size_t blanks) {
  std::int32_t value = 7;
  Outcome got = ReadInteger(value, in);
  CheckRefusal(in, got, blanks);
  // strtoll in base 10 reads the same text: an optional sign and digits.
  std::string rest = TextFrom(in, blanks, in.stop);
  char* end = nullptr;
  errno = 0;
  long long expected = std::strtoll(rest.c_str(), &end, 10);
  bool valid = end != rest.c_str() && errno == 0 && expected >= INT32_MIN &&
               expected <= INT32_MAX && !IsBlank(rest[0]);
  if (valid) {
    Require(got == Outcome::kStored && value == expected);
    Require(in.start == blanks + static_cast<std::size_t>(end - rest.c_str()));
  } else {
    Require(got != Outcome::kStored && value == 7);
  }
}

void CheckReal(Input& in, std::size_t blanks) {
  double value = 7;
  Outcome got = ReadReal(value, in);
  CheckRefusal(in, got, blanks);
  if (got != Outcome::kStored) {
    Require(value == 7);
    return;
  }
  std::string taken = TextFrom(in, blanks, in.start);
  char* end = nullptr;
  double expected = std::strtod(taken.c_str(), &end);
  Require(!taken.empty() && end == taken.c_str() + taken.size());
  Require(std::memcmp(&value, &expected, sizeof value) == 0);
}

void CheckWord(Input& in, std::size_t blanks) {
  std::string word = "?";
  Outcome got = ReadWord(word, in);
  CheckRefusal(in, got, blanks);
  if (got != Outcome::kStored) return;
  Require(!word.empty() && word == TextFrom(in, blanks, in.start));
  for (char c : word) Require(!IsBlank(c));
  Require(in.start == in.stop || IsBlank(in[in.start]));
}

void CheckChar(Input& in, std::size_t from, bool after_blanks) {
  char c = '?';
  std::size_t before = after_blanks ? from : in.start;
  Outcome got = after_blanks ? ReadCharAfterBlanks(c, in) : ReadChar(c, in);
  if (got == Outcome::kStored) Require(in.start == before + 1 && c == in[before]);
  if (got != Outcome::kStored) Require(in.start == in.stop && before == in.stop);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in = TextInput(std::string_view(reinterpret_cast<const char*>(data), size));
  for (std::size_t turn = 0; turn < 6 * (size + 2); ++turn) {
    std::size_t before = in.start;
    std::size_t blanks = before;
    while (blanks < in.stop && IsBlank(in[blanks])) ++blanks;
    switch (turn % 6) {
      case 0:
        CheckInteger(in, blanks);
        break;
      case 1:
        CheckReal(in, blanks);
        break;
      case 2:
        CheckWord(in, blanks);
        break;
      case 3:
        CheckChar(in, blanks, false);
        break;
      case 4:
        CheckChar(in, blanks, true);
        break;
      default:
        SkipWord(in);
    }
    Require(in.start >= before && in.start <= in.stop);  // only ever forward
  }
  return 0;
}
