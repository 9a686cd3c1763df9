#include <algorithm>
#include <charconv>
#include <cstring>

#include "input.h"
#include "output.h"
#include "system.h"

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

// Room for at least half a chunk more after the unconsumed bytes. It grows in place
// where the allocator can, so one huge value costs little more than its own size, and
// it is left as it comes, not cleared: a short dialogue touches few pages of it.
void MakeRoom(Input& in) {
  if (in.start > 0) {
    std::memmove(in.bytes.get(), in.bytes.get() + in.start, in.stop - in.start);
    in.stop -= in.start;
    in.start = 0;
  }
  if (in.size - in.stop >= kChunk / 2) return;
  std::size_t size = std::max(in.size + in.size / 2, in.stop + kChunk);
  void* room = std::realloc(in.bytes.get(), size);
  if (room == nullptr) FlushAndFail("out of memory", 0);
  in.bytes.release();
  in.bytes.reset(static_cast<char*>(room));
  in.size = size;
}

// Reads once more from the descriptor, keeping every unconsumed byte; false at the end
// of input. Any read but one from a regular file may wait, so what the program has
// written is flushed before it, and its prompt is seen: asking first whether input is
// ready would race with another reader of the same pipe, and a terminal in raw mode
// with a read timer looks ready, yet its read waits out the timer. An input that cannot
// be read ends the run.
bool Refill(Input& in) {
  if (in.ended) return false;
  MakeRoom(in);
  if (in.may_wait) Flush(StandardOutput());
  Transfer got = ReadSome(in.fd, in.bytes.get() + in.stop, in.size - in.stop);
  if (got.cause != 0) FlushAndFail("read error", got.cause);
  if (got.count == 0) {
    if (in.terminal && got.line_ended) StandardOutput().last_shown = '\n';
    in.ended = true;
    if (in.fd == 0) StandardOutput().input_ended = true;
    return false;
  }
  in.stop += got.count;
  if (in.terminal) StandardOutput().last_shown = in[in.stop - 1];
  return true;
}

// The bytes from the read position on. Looking past what has arrived reads more, so a
// scan goes once over its text however it arrives; past the end of input it sees -1.
struct Ahead {
  Input& in;
  const char* first = in.bytes.get() + in.start;
  std::size_t arrived = in.stop - in.start;

  int operator[](std::size_t offset) {
    while (offset >= arrived) {
      if (!Refill(in)) return -1;
      first = in.bytes.get() + in.start;
      arrived = in.stop - in.start;
    }
    return static_cast<unsigned char>(first[offset]);
  }
};

// Moves the read position past the bytes that `keep_going` accepts.
template <class Test>
void SkipWhile(Input& in, Test keep_going) {
  do {
    while (in.start < in.stop && keep_going(in[in.start])) ++in.start;
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

// Length of the integer text ahead, 0 where there is none.
std::size_t IntegerLength(Ahead& ahead) {
  std::size_t sign = IsSign(ahead[0]) ? 1 : 0;
  std::size_t digits = DigitsFrom(ahead, sign);
  return digits == 0 ? 0 : sign + digits;
}

// Length of the real text ahead, 0 where there is none. An exponent counts only when
// it has digits: "1e+" is the real 1 followed by the text "e+".
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

const char* ReadPosition(const Input& in) {
  return in.bytes.get() + in.start;
}

}  // namespace

Input& StandardInput() {
  static Input standard_input = DescriptorInput(0);
  return standard_input;
}

Input DescriptorInput(int fd) {
  Input in;
  in.fd = fd;
  in.terminal = IsTerminal(fd);
  in.may_wait = MayWait(fd);
  return in;
}

Input TextInput(std::string_view text) {
  Input in;
  in.bytes.reset(static_cast<char*>(std::malloc(std::max<std::size_t>(text.size(), 1))));
  if (in.bytes == nullptr) FlushAndFail("out of memory", 0);
  if (!text.empty()) std::memcpy(in.bytes.get(), text.data(), text.size());
  in.size = text.size();
  in.stop = text.size();
  in.ended = true;
  return in;
}

Outcome ReadInteger(std::int32_t& value, Input& in) {
  if (!SkipBlanks(in)) return Outcome::kEnd;
  Ahead ahead{in};
  std::size_t length = IntegerLength(ahead);
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
  Ahead ahead{in};
  std::size_t length = RealLength(ahead);
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
    while (in.start < in.stop && !IsBlank(in[in.start])) ++in.start;
    word.append(in.bytes.get() + begin, in.start - begin);
  } while (in.start == in.stop && Refill(in));
  return Outcome::kStored;
}

Outcome ReadChar(char& c, Input& in) {
  if (in.start == in.stop && !Refill(in)) return Outcome::kEnd;
  c = in[in.start++];
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

Outcome ReadInteger(std::int32_t& value) {
  return ReadInteger(value, StandardInput());
}
Outcome ReadReal(double& value) {
  return ReadReal(value, StandardInput());
}
Outcome ReadWord(std::string& word) {
  return ReadWord(word, StandardInput());
}
Outcome ReadChar(char& c) {
  return ReadChar(c, StandardInput());
}
Outcome ReadCharAfterBlanks(char& c) {
  return ReadCharAfterBlanks(c, StandardInput());
}
void SkipWord() {
  SkipWord(StandardInput());
}

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char ToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
