// thermo: a whole-degree Fahrenheit temperature in degrees Celsius.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Converts a temperature asked on standard input from Fahrenheit to Celsius.");
  std::int32_t fahrenheit = 0;
  if (!AskOrQuit("Enter the temperature in degrees Fahrenheit: ", fahrenheit)) return 0;
  // 64 bits, so that the coldest entries do not wrap.
  std::int64_t above_freezing = std::int64_t{fahrenheit} - 32;
  double celsius = static_cast<double>(above_freezing) * 0.5555555555555556;
  PrintLine("Your temperature in degrees Celsius: %f", celsius);
  return 0;
}
