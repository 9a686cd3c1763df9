// The console every program of the suite reads and writes through.
//
// Reading is by values, not lines: a read skips the blanks before its value, takes
// what it needs and leaves the rest, line break included, for the next read. A read
// that finds no valid value takes only those blanks and leaves the offending text in
// place, so the next read meets it again.
//
// Writing gathers text in a buffer in front of standard output, and the buffer is
// written out whenever a read has to wait for more input, so a prompt is on the screen
// before the program waits for its answer, and a run driven from a file makes few
// system calls.
//
// Where the process itself fails (output that cannot be written, input that cannot be
// read, memory that cannot be had), the layer says so in one line on standard error
// and ends the program with status 1: a run that lost data never reports success.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

// The programs take no arguments. Given --help, a program writes a short usage: its
// name, `about` (what it does and what it reads), and where its manual page is; it
// then ends with status 0. Given anything else it says so on standard error and ends
// with status 2, having read nothing.
void TakeNoArguments(int argc, char* argv[], std::string_view about);

// What became of one read.
enum class Outcome {
  kStored,   // the value was stored
  kInvalid,  // the text there is no valid value: the target is unchanged
  kEnd,      // the input has ended: the target is unchanged
};

// An optional sign and decimal digits, within the 32-bit range.
Outcome ReadInteger(std::int32_t& value);
// A decimal real: optional sign, digits with an optional point and fraction, and an
// exponent where one is complete. Beyond the range of a double it reads as an infinity,
// below it as zero or a subnormal.
Outcome ReadReal(double& value);
// The next run of non-blank bytes, of any length.
Outcome ReadWord(std::string& word);
// The very next byte, blank or not.
Outcome ReadChar(char& c);
// The next byte that is not blank.
Outcome ReadCharAfterBlanks(char& c);
// Drops the next word, for a dialogue that asks again after text it could not use.
void SkipWord();

inline Outcome ReadValue(std::int32_t& value) {
  return ReadInteger(value);
}
inline Outcome ReadValue(double& value) {
  return ReadReal(value);
}
inline Outcome ReadValue(std::string& word) {
  return ReadWord(word);
}

// One read of several values in order; it stops at the first value not stored and
// tells what became of that one.
template <class... T>
Outcome Read(T&... targets) {
  Outcome got = Outcome::kStored;
  auto stored = [&](auto& target) {
    got = ReadValue(target);
    return got == Outcome::kStored;
  };
  return (stored(targets) && ...) ? Outcome::kStored : got;
}

// The suite's one answer to text where a number belongs.
inline constexpr std::string_view kNotNumeric = "Invalid entry: needs to be numeric";

void Write(std::string_view text);
void WriteLine(std::string_view text);

// For a dialogue that cannot go on without its values: text that is not a number gets
// the not-numeric line. True when every value was stored.
template <class... T>
bool ReadOrQuit(T&... targets) {
  Outcome got = Read(targets...);
  if (got == Outcome::kInvalid) WriteLine(kNotNumeric);
  return got == Outcome::kStored;
}

// For a dialogue that asks again: text that is not a number gets the not-numeric line
// and its word is dropped, so the next question meets fresh input.
template <class... T>
Outcome ReadOrSkip(T&... targets) {
  Outcome got = Read(targets...);
  if (got == Outcome::kInvalid) {
    WriteLine(kNotNumeric);
    SkipWord();
  }
  return got;
}

// A question: its prompt, then the read of its answer, by the rules above.
template <class... T>
bool AskOrQuit(std::string_view prompt, T&... targets) {
  Write(prompt);
  return ReadOrQuit(targets...);
}

template <class... T>
Outcome AskOrSkip(std::string_view prompt, T&... targets) {
  Write(prompt);
  return ReadOrSkip(targets...);
}

// A letter is one of A to Z and a to z, whatever the locale.
bool IsLetter(char c);
// A to Z become a to z; every other byte stays as it is.
char ToLower(char c);

// One value for a conversion of a format: %d takes an integer, %f and %.Nf a real,
// %s a text.
struct Arg {
  enum class Kind { kInteger, kReal, kText };
  Arg(std::int32_t v) : kind(Kind::kInteger), integer(v) {}
  Arg(std::int64_t v) : kind(Kind::kInteger), integer(v) {}
  Arg(double v) : kind(Kind::kReal), real(v) {}
  Arg(std::string_view v) : kind(Kind::kText), text(v) {}

  Kind kind;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view text;
};

// The kind of conversion a value of type T is written by.
template <class T>
consteval Arg::Kind KindOf() {
  if constexpr (std::is_same_v<T, double>) {
    return Arg::Kind::kReal;
  } else if constexpr (std::is_same_v<T, std::int32_t> ||
                       std::is_same_v<T, std::int64_t>) {
    return Arg::Kind::kInteger;
  } else {
    static_assert(std::is_convertible_v<const T&, std::string_view>,
                  "a value is written as an integer, a real or a text");
    return Arg::Kind::kText;
  }
}

// Whether each conversion of `format` fits the value of its place, and there is a
// value for each conversion and a conversion for each value.
constexpr bool Fits(std::string_view format, std::initializer_list<Arg::Kind> kinds) {
  const Arg::Kind* next = kinds.begin();
  for (std::size_t at = format.find('%'); at != format.npos; at = format.find('%', at)) {
    ++at;
    if (at + 1 < format.size() && format[at] == '.' && format[at + 1] >= '0' &&
        format[at + 1] <= '9') {
      at += 2;
    }
    Arg::Kind wanted = Arg::Kind::kText;
    switch (at < format.size() ? format[at] : '\0') {
      case 'd':
        wanted = Arg::Kind::kInteger;
        break;
      case 'f':
        wanted = Arg::Kind::kReal;
        break;
      case 's':
        break;
      default:
        return false;
    }
    if (next == kinds.end() || *next++ != wanted) return false;
  }
  return next == kinds.end();
}

// Never defined: a format that does not fit its values calls it while compiling, and so
// does not compile.
void FormatDoesNotFitItsValues();

// A format whose conversions are checked against the types of its values while the
// program compiles, as std::format checks its own.
template <class... A>
struct FormatFor {
  template <class S>
  requires std::is_convertible_v<const S&, std::string_view>
  consteval FormatFor(const S& format) : text(format) {
    if (!Fits(text, {KindOf<A>()...})) FormatDoesNotFitItsValues();
  }
  std::string_view text;
};

// Writes `format` with each conversion replaced by the next value, digits exactly as
// the C library's printf gives them.
void PrintArgs(std::string_view format, std::initializer_list<Arg> args);

template <class... A>
void Print(FormatFor<std::type_identity_t<A>...> format, const A&... args) {
  PrintArgs(format.text, {Arg(args)...});
}

template <class... A>
void PrintLine(FormatFor<std::type_identity_t<A>...> format, const A&... args) {
  PrintArgs(format.text, {Arg(args)...});
  Write("\n");
}
