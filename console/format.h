// Inside the console layer: printf's %d, %f, %.Nf and %s, with its exact digits.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "console.h"

// Appends `format` to `out` with each conversion replaced by the next value.
void Format(std::string& out, std::string_view format, std::initializer_list<Arg> args);

// Writes `value` with `decimals` decimals (0 to 9 on the fast path), rounded half to even
// from its exact binary value, as printf writes it, and returns the end of the digits.
char* FixedDigits(char* out, char* end, double value, int decimals);
// The same digits by to_chars alone: the path where there is no 128-bit integer.
char* PlainFixedDigits(char* out, char* end, double value, int decimals);
