#include "console.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
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

// Writes out all the pending text.
void Flush(Output& out) {
  std::string_view left = out.pending;
  while (!left.empty()) {
    ssize_t put = write(out.fd, left.data(), left.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;  // nowhere to write to any more: the text is dropped
    left.remove_prefix(static_cast<std::size_t>(put));
  }
  out.pending.clear();
}

// Whether a read of `fd` would wait for input that has not come yet.
bool MustWait(int fd) {
  pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
  return poll(&ready, 1, 0) != 1 || (ready.revents & POLLIN) == 0;
}

// Reads once more from the descriptor, keeping every unconsumed byte. Where the read
// would wait, what the program has written is flushed first, so its prompt is seen.
bool Refill(Input& in) {
  if (in.ended) return false;
  if (in.start > 0) {
    std::memmove(in.bytes.get(), in.bytes.get() + in.start, in.stop - in.start);
    in.stop -= in.start;
    in.start = 0;
  }
  // Grow only for a value that has filled half the buffer without ending. The room is
  // left as it comes, not cleared: a short dialogue touches few pages of it.
  if (in.size - in.stop < kChunk / 2) {
    std::size_t size = std::max(2 * in.size, in.stop + kChunk);
    std::unique_ptr<char[]> room = std::make_unique_for_overwrite<char[]>(size);
    if (in.stop > 0) std::memcpy(room.get(), in.bytes.get(), in.stop);
    in.bytes = std::move(room);
    in.size = size;
  }
  if (MustWait(in.fd)) Flush(StandardOutput());
  for (;;) {
    ssize_t got = read(in.fd, in.bytes.get() + in.stop, in.size - in.stop);
    if (got > 0) {
      in.stop += static_cast<std::size_t>(got);
      return true;
    }
    if (got < 0 && errno == EINTR) continue;
    in.ended = true;  // end of input, or an input that cannot be read any more
    return false;
  }
}

// The bytes from the read position on, as far as they have arrived. Looking past them
// yields -1 and marks the view as cut short: the text might go on in bytes not yet read.
struct Ahead {
  const char* first;
  const char* last;
  bool cut = false;

  int operator[](std::size_t offset) {
    if (offset < static_cast<std::size_t>(last - first)) {
      return static_cast<unsigned char>(first[offset]);
    }
    cut = true;
    return -1;
  }
};

// The length of the text at the read position that `scan` takes, having looked as far
// ahead as it needed: where it looked past what has arrived, more is read and it looks
// again, until a byte after the text is seen or the input ends.
template <class Scan>
std::size_t LengthAhead(Input& in, Scan scan) {
  for (;;) {
    Ahead ahead{in.bytes.get() + in.start, in.bytes.get() + in.stop};
    std::size_t length = scan(ahead);
    if (!ahead.cut || !Refill(in)) return length;
  }
}

// Moves the read position past the bytes that `keep_going` accepts.
template <class Test>
void SkipWhile(Input& in, Test keep_going) {
  do {
    while (in.start < in.stop && keep_going(in.bytes[in.start])) ++in.start;
  } while (in.start == in.stop && Refill(in));
}

// Skips the blanks before a value; false when the input ends first.
bool SkipBlanks(Input& in) {
  SkipWhile(in, [](char c) { return IsBlank(c); });
  return in.start < in.stop;
}

std::size_t DigitsFrom(Ahead& ahead, std::size_t offset) {
  std::size_t end = offset;
  while (IsDigit(ahead[end])) ++end;
  return end - offset;
}

// Length of the integer text in view, 0 where there is none.
std::size_t IntegerLength(Ahead& ahead) {
  std::size_t sign = IsSign(ahead[0]) ? 1 : 0;
  std::size_t digits = DigitsFrom(ahead, sign);
  return digits == 0 ? 0 : sign + digits;
}

// Length of the real text in view, 0 where there is none. An exponent counts only
// when it has digits: "1e+" is the real 1 followed by the text "e+".
std::size_t RealLength(Ahead& ahead) {
  std::size_t length = IsSign(ahead[0]) ? 1 : 0;
  std::size_t digits = DigitsFrom(ahead, length);
  length += digits;
  if (ahead[length] == '.') {
    std::size_t fraction = DigitsFrom(ahead, length + 1);
    digits += fraction;
    length += 1 + fraction;
  }
  if (digits == 0) return 0;
  int e = ahead[length];
  if (e == 'e' || e == 'E') {
    std::size_t sign = IsSign(ahead[length + 1]) ? 1 : 0;
    std::size_t exponent = DigitsFrom(ahead, length + 1 + sign);
    if (exponent > 0) length += 1 + sign + exponent;
  }
  return length;
}

// `value` with `decimals` decimals, rounded half to even from its exact binary value,
// as printf writes it. Below 2^64 an exact path in 128-bit integers makes the digits;
// to_chars makes the same digits for the rest, only slower.
char* FixedDigits(char* out, char* end, double value, int decimals) {
  __extension__ using Wide = unsigned __int128;
  constexpr std::uint64_t kPowers[] = {1,      10,      100,      1000,      10000,
                                       100000, 1000000, 10000000, 100000000, 1000000000};
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased_exponent > 0) mantissa |= std::uint64_t{1} << 52;
  int shift = 1075 - std::max(biased_exponent, 1);  // value = mantissa / 2^shift
  if (decimals > 9 || shift < -11 || biased_exponent == 0x7ff) {
    return std::to_chars(out, end, value, std::chars_format::fixed, decimals).ptr;
  }
  std::uint64_t scale = kPowers[decimals];
  Wide scaled = Wide{mantissa} * scale;  // below 2^94
  Wide whole = 0;  // value × 10^decimals, rounded to a whole number
  if (shift <= 0) {
    whole = scaled << -shift;
  } else if (shift < 100) {  // from 100 on, the value is below half of the last decimal
    whole = scaled >> shift;
    Wide rest = scaled - (whole << shift);
    Wide half = Wide{1} << (shift - 1);
    if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  }
  if (bits >> 63) *out++ = '-';
  out = std::to_chars(out, end, static_cast<std::uint64_t>(whole / scale)).ptr;
  if (decimals > 0) {
    *out++ = '.';
    std::uint64_t fraction = static_cast<std::uint64_t>(whole % scale);
    for (int place = decimals - 1; place >= 0; --place) {
      *out++ = static_cast<char>('0' + fraction / kPowers[place] % 10);
    }
  }
  return out;
}

const char* ReadPosition(const Input& in) {
  return in.bytes.get() + in.start;
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
  in.bytes = std::make_unique_for_overwrite<char[]>(text.size());
  if (!text.empty()) std::memcpy(in.bytes.get(), text.data(), text.size());
  in.size = text.size();
  in.stop = text.size();
  in.ended = true;
  return in;
}

Outcome ReadInteger(std::int32_t& value, Input& in) {
  if (!SkipBlanks(in)) return Outcome::kEnd;
  std::size_t length = LengthAhead(in, IntegerLength);
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
  if (!SkipBlanks(in)) return Outcome::kEnd;
  std::size_t length = LengthAhead(in, RealLength);
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
  if (!SkipBlanks(in)) return Outcome::kEnd;
  word.clear();
  // A word may be longer than the buffer holds: take it piece by piece as it arrives.
  do {
    std::size_t begin = in.start;
    while (in.start < in.stop && !IsBlank(in.bytes[in.start])) ++in.start;
    word.append(in.bytes.get() + begin, in.start - begin);
  } while (in.start == in.stop && Refill(in));
  return Outcome::kStored;
}

Outcome ReadChar(char& c, Input& in) {
  if (in.start == in.stop && !Refill(in)) return Outcome::kEnd;
  c = in.bytes[in.start++];
  return Outcome::kStored;
}

Outcome ReadCharAfterBlanks(char& c, Input& in) {
  if (!SkipBlanks(in)) return Outcome::kEnd;
  return ReadChar(c, in);
}

void SkipWord(Input& in) {
  SkipBlanks(in);
  SkipWhile(in, [](char c) { return !IsBlank(c); });
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void Write(std::string_view text) {
  Output& out = StandardOutput();
  out.pending.append(text);
  FlushIfFull(out);
}

void WriteLine(std::string_view text) {
  Write(text);
  Write("\n");
}

Output& StandardOutput() {
  static Output standard_output;
  return standard_output;
}

Output::~Output() {
  Flush(*this);
}

void FlushIfFull(Output& out) {
  if (out.pending.size() >= kChunk) Flush(out);
}

void Format(std::string& out, std::string_view format, std::initializer_list<Arg> args) {
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
    out.append(format.data() + at, percent - at);
    if (percent == format.size()) break;
    // The letter that names the conversion, after a precision such as ".2" if any.
    std::size_t letter = percent + 1;
    int decimals = 6;
    if (letter + 1 < format.size() && format[letter] == '.' &&
        IsDigit(format[letter + 1])) {
      decimals = format[letter + 1] - '0';
      letter += 2;
    }
    if (letter >= format.size()) std::abort();
    char* end = digits;
    switch (format[letter]) {
      case 'd':
        end = std::to_chars(digits, digits + sizeof digits,
                            take(Arg::Kind::kInteger).integer)
                  .ptr;
        break;
      case 'f':
        end = FixedDigits(digits, digits + sizeof digits, take(Arg::Kind::kReal).real,
                          decimals);
        break;
      case 's':
        out.append(take(Arg::Kind::kText).text);
        break;
      case 'c':
        out += take(Arg::Kind::kChar).c;
        break;
      default:
        std::abort();
    }
    out.append(digits, static_cast<std::size_t>(end - digits));
    at = letter + 1;
  }
  if (next != args.end()) std::abort();
}
