// mileage: a fuel log of three fill-ups, summed up as the best miles per gallon, the
// average miles driven and the money spent.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(argc, argv,
                  "Sums up three fill-ups read from standard input, without prompts.");
  std::int32_t miles[3] = {};
  double gallons[3] = {};
  double price[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (!ReadOrQuit(miles[i], gallons[i], price[i])) return 0;
  }

  double best = 0;
  for (int i = 0; i < 3; ++i) {
    double efficiency = miles[i] / gallons[i];
    if (efficiency > best) best = efficiency;  // a not-a-number never wins
  }
  std::int64_t miles_sum = std::int64_t{miles[0]} + miles[1] + miles[2];
  std::int64_t average = miles_sum / 3;
  double spent = gallons[0] * price[0] + gallons[1] * price[1] + gallons[2] * price[2];

  PrintLine("The best fuel efficiency is %.1f miles per gallon", best);
  PrintLine("The average number of miles driven is %.0f miles",
            static_cast<double>(average));
  PrintLine("The total amount of money we've spent on gasoline has been $ %.2f ", spent);
  return 0;
}
