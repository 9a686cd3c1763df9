// Fixed-point digits without to_chars where they fit and the compiler has a 128-bit
// integer: a running calculator writes a result every step, and this path is a third
// of such a run's time. Elsewhere to_chars makes the same digits.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>

#include "format.h"

char* PlainFixedDigits(char* out, char* end, double value, int decimals) {
  return std::to_chars(out, end, value, std::chars_format::fixed, decimals).ptr;
}

#ifndef __SIZEOF_INT128__
char* FixedDigits(char* out, char* end, double value, int decimals) {
  return PlainFixedDigits(out, end, value, decimals);
}
#else
// Below 2^64 an exact path in 128-bit integers makes the digits; to_chars makes the
// same digits for the rest, only slower.
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
    return PlainFixedDigits(out, end, value, decimals);
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
#endif
