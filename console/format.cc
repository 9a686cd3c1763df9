#include "format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

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
        format[letter + 1] >= '0' && format[letter + 1] <= '9') {
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
      case 'f': {
        double real = take(Arg::Kind::kReal).real;
        // printf writes a not-a-number's sign bit, and the hardware sets it or not: x86
        // makes 0/0 negative, ARM positive. The suite writes every one as x86 does, so
        // that a run gives the same bytes on every machine.
        end = std::isnan(real)
                  ? std::copy_n("-nan", 4, digits)
                  : FixedDigits(digits, digits + sizeof digits, real, decimals);
        break;
      }
      case 's':
        out.append(take(Arg::Kind::kText).text);
        break;
      default:
        std::abort();
    }
    out.append(digits, static_cast<std::size_t>(end - digits));
    at = letter + 1;
  }
  if (next != args.end()) std::abort();
}
