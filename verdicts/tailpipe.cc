// tailpipe: checks one emission measurement against the permitted level for its
// pollutant and the vehicle's mileage band.
#include <cstdint>

#include "console.h"

struct Limit {
  double low_mileage;   // grams per mile up to 50000 miles
  double high_mileage;  // grams per mile above 50000 miles
  int decimals;         // the limit as the verdict names it: 1 or 2 decimals
};

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Checks an emission measurement asked on standard input against its limit.");
  const Limit kLimits[] = {
      {3.4, 4.2, 1},    // carbon monoxide
      {0.31, 0.39, 2},  // hydrocarbons
      {0.4, 0.5, 1},    // nitrogen oxides
      {0.25, 0.31, 2},  // nonmethane hydrocarbons
  };
  WriteLine("(1) Carbon monoxide");
  WriteLine("(2) Hydrocarbons");
  WriteLine("(3) Nitrogen oxides");
  WriteLine("(4) Nonmethane hydrocarbons");
  std::int32_t pollutant = 0;
  double rate = 0;
  std::int32_t odometer = 0;
  if (!AskOrQuit("Enter pollutant number>> ", pollutant)) return 0;
  if (!AskOrQuit("Enter number of grams emitted per mile>> ", rate)) return 0;
  if (!AskOrQuit("Enter odometer reading>> ", odometer)) return 0;

  if (pollutant < 1 || pollutant > 4) return 0;
  const Limit& limit = kLimits[pollutant - 1];
  double permitted = odometer > 50000 ? limit.high_mileage : limit.low_mileage;
  if (rate > permitted) {
    Write("Emissions exceed permitted level ");
    if (limit.decimals == 1) {
      PrintLine("of %.1f grams/mile.", permitted);
    } else {
      PrintLine("of %.2f grams/mile.", permitted);
    }
  } else {
    WriteLine("Emissions are within permitted level.");
  }
  return 0;
}
