#include "console.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kChunk = 1 << 16;

bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(int c) {
  return c >= '0' && c <= '9';
}

bool IsSign(int c) {
  return c == '+' || c == '-';
}

// Reads once more from the descriptor, keeping every unconsumed byte. Standard output is
// flushed first: the program is about to wait, and its prompt must be seen.
bool Refill(Input& in) {
  if (in.ended) return false;
  if (in.start > 0) {
    std::memmove(in.bytes.data(), in.bytes.data() + in.start, in.stop - in.start);
    in.stop -= in.start;
    in.start = 0;
  }
  if (in.bytes.size() - in.stop < kChunk) {
    in.bytes.resize(std::max(2 * in.bytes.size(), in.stop + kChunk));
  }
  std::fflush(stdout);
  for (;;) {
    ssize_t got = read(in.fd, in.bytes.data() + in.stop, in.bytes.size() - in.stop);
    if (got > 0) {
      in.stop += static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    in.ended = true;  // end of input, or an input that cannot be read any more
    return false;
  }
}

// The byte `offset` places past the read position, or -1 where the input ends first.
int PeekAt(Input& in, std::size_t offset) {
  while (in.start + offset >= in.stop) {
    if (!Refill(in)) return -1;
  }
  return static_cast<unsigned char>(in.bytes[in.start + offset]);
}

void SkipBlanks(Input& in) {
  while (IsBlank(PeekAt(in, 0))) ++in.start;
}

std::size_t DigitsFrom(Input& in, std::size_t offset) {
  std::size_t end = offset;
  while (IsDigit(PeekAt(in, end))) ++end;
  return end - offset;
}

// Length of the integer text at the read position, 0 where there is none.
std::size_t IntegerLength(Input& in) {
  std::size_t sign = IsSign(PeekAt(in, 0)) ? 1 : 0;
  std::size_t digits = DigitsFrom(in, sign);
  return digits == 0 ? 0 : sign + digits;
}

// Length of the real text at the read position, 0 where there is none. An exponent
// counts only when it has digits: "1e+" is the real 1 followed by the text "e+".
std::size_t RealLength(Input& in) {
  std::size_t length = IsSign(PeekAt(in, 0)) ? 1 : 0;
  std::size_t digits = DigitsFrom(in, length);
  length += digits;
  if (PeekAt(in, length) == '.') {
    std::size_t fraction = DigitsFrom(in, length + 1);
    digits += fraction;
    length += 1 + fraction;
  }
  if (digits == 0) return 0;
  int e = PeekAt(in, length);
  if (e == 'e' || e == 'E') {
    std::size_t sign = IsSign(PeekAt(in, length + 1)) ? 1 : 0;
    std::size_t exponent = DigitsFrom(in, length + 1 + sign);
    if (exponent > 0) length += 1 + sign + exponent;
  }
  return length;
}

const char* ReadPosition(const Input& in) {
  return in.bytes.data() + in.start;
}

}  // namespace

Input& StandardInput() {
  static Input standard_input = DescriptorInput(STDIN_FILENO);
  return standard_input;
}

Input DescriptorInput(int fd) {
  Input in;
  in.fd = fd;
  return in;
}

Input TextInput(std::string_view text) {
  Input in;
  in.bytes.assign(text.begin(), text.end());
  in.stop = text.size();
  in.ended = true;
  return in;
}

Outcome ReadInteger(std::int32_t& value, Input& in) {
  SkipBlanks(in);
  if (PeekAt(in, 0) < 0) return Outcome::kEnd;
  std::size_t length = IntegerLength(in);
  if (length == 0) return Outcome::kInvalid;
  const char* text = ReadPosition(in);
  std::int32_t parsed = 0;
  // from_chars takes a minus but not a plus.
  auto [end, error] = std::from_chars(text + (*text == '+'), text + length, parsed);
  if (error != std::errc()) return Outcome::kInvalid;  // beyond the 32-bit range
  value = parsed;
  in.start += length;
  return Outcome::kStored;
}

Outcome ReadReal(double& value, Input& in) {
  SkipBlanks(in);
  if (PeekAt(in, 0) < 0) return Outcome::kEnd;
  std::size_t length = RealLength(in);
  if (length == 0) return Outcome::kInvalid;
  const char* text = ReadPosition(in);
  double parsed = 0;
  auto [end, error] = std::from_chars(text + (*text == '+'), text + length, parsed);
  if (error == std::errc::result_out_of_range) {
    // from_chars only reports the range error; strtod gives the infinity, zero or
    // subnormal that the C library's decimal conversion makes of such text.
    parsed = std::strtod(std::string(text, length).c_str(), nullptr);
  }
  value = parsed;
  in.start += length;
  return Outcome::kStored;
}

Outcome ReadWord(std::string& word, Input& in) {
  SkipBlanks(in);
  if (PeekAt(in, 0) < 0) return Outcome::kEnd;
  std::size_t length = 0;
  for (int c = PeekAt(in, 0); c >= 0 && !IsBlank(c); c = PeekAt(in, length)) ++length;
  word.assign(ReadPosition(in), length);
  in.start += length;
  return Outcome::kStored;
}

Outcome ReadChar(char& c, Input& in) {
  int next = PeekAt(in, 0);
  if (next < 0) return Outcome::kEnd;
  c = static_cast<char>(next);
  ++in.start;
  return Outcome::kStored;
}

Outcome ReadCharAfterBlanks(char& c, Input& in) {
  SkipBlanks(in);
  return ReadChar(c, in);
}

void SkipWord(Input& in) {
  SkipBlanks(in);
  for (int c = PeekAt(in, 0); c >= 0 && !IsBlank(c); c = PeekAt(in, 0)) ++in.start;
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void WriteLine(std::string_view text) {
  Write(text);
  Write("\n");
}

void PrintTo(std::FILE* out, std::string_view format, std::initializer_list<Arg> args) {
  const Arg* next = args.begin();
  // A conversion that does not match its value is a fault of the program, not of its
  // input: stop at once rather than write a wrong figure.
  auto take = [&](Arg::Kind kind) -> const Arg& {
    if (next == args.end() || next->kind != kind) std::abort();
    return *next++;
  };
  // Room for the widest fixed-notation double: 309 digits, sign, point and decimals.
  char digits[400];
  std::size_t at = 0;
  while (at < format.size()) {
    std::size_t percent = std::min(format.find('%', at), format.size());
    std::fwrite(format.data() + at, 1, percent - at, out);
    if (percent == format.size()) break;
    std::size_t spec = percent + 1;
    int decimals = 6;
    if (spec + 1 < format.size() && format[spec] == '.' && IsDigit(format[spec + 1])) {
      decimals = format[spec + 1] - '0';
      spec += 2;
    }
    if (spec >= format.size()) std::abort();
    char* end = digits;
    switch (format[spec]) {
      case 'd':
        end = std::to_chars(digits, digits + sizeof digits,
                            take(Arg::Kind::kInteger).integer)
                  .ptr;
        break;
      case 'f':
        end = std::to_chars(digits, digits + sizeof digits, take(Arg::Kind::kReal).real,
                            std::chars_format::fixed, decimals)
                  .ptr;
        break;
      case 's': {
        std::string_view text = take(Arg::Kind::kText).text;
        std::fwrite(text.data(), 1, text.size(), out);
        break;
      }
      case 'c':
        std::fputc(take(Arg::Kind::kChar).c, out);
        break;
      default:
        std::abort();
    }
    std::fwrite(digits, 1, static_cast<std::size_t>(end - digits), out);
    at = spec + 1;
  }
  if (next != args.end()) std::abort();
}
