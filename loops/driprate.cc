// driprate: a nurse picks one of four kinds of medical order from a menu and gets the
// infusion rate it calls for, until choosing 5.
#include <cstdint>

#include "console.h"

void WallOfText() {
  WriteLine("\t   GIVE A MEDICAL ORDER IN               CALCULATE RATE IN");
  WriteLine("\t(1)   ml/hr & tubing drop factor              drops / ml");
  WriteLine("\t(2)   1 L for n hr                            ml / hr");
  WriteLine("\t(3)   mg/kg/hr & concentration in mg/ml       ml / hr");
  WriteLine("\t(4)   units/hr & concentration in units/ml    ml / hr");
  WriteLine("\t(5)   QUIT");
  Write("Problem=> ");
}

// Drops per minute for a flow in ml/hr through tubing of a given drop factor.
Outcome OneInput(double& drops_per_minute) {
  double flow_rate = 0;
  std::int32_t drop_factor = 0;
  Outcome got = AskOrSkip("Enter rate in ml/hr=> ", flow_rate);
  if (got == Outcome::kStored) {
    got = AskOrSkip("Enter tubing's drop factor(drops/ml)=> ", drop_factor);
  }
  if (got == Outcome::kStored) drops_per_minute = flow_rate / 60.0 * drop_factor;
  return got;
}

void OnePrint(double drops_per_minute) {
  Print("The drop rate per minute is %.0f\n\n", drops_per_minute);
}

// One litre over so many hours, in whole ml/hr; the caller keeps 0 hours away.
std::int32_t TwoAll(std::int32_t hours) {
  return 1000 / hours;
}

// ml/hr for a dose by body weight from a solution of a given strength.
Outcome ThreeInput(double& ml_per_hour) {
  double dose_rate = 0;
  std::int32_t weight = 0;
  std::int32_t concentration = 0;
  Outcome got = AskOrSkip("Enter rate in mg/kg/hr=> ", dose_rate);
  if (got == Outcome::kStored) got = AskOrSkip("Enter patient weight in kg=> ", weight);
  if (got == Outcome::kStored) {
    got = AskOrSkip("Enter concentration in mg/ml=> ", concentration);
  }
  if (got == Outcome::kStored) {
    ml_per_hour =
        static_cast<double>(weight) * dose_rate / static_cast<double>(concentration);
  }
  return got;
}

void ThreePrint(double ml_per_hour) {
  Print("The rate in milliliters per hour is %.0f.\n\n", ml_per_hour);
}

void DividingByZero() {
  WriteLine("Error: dividing by 0\n");
}

void FourAll(std::int32_t units_per_hour, std::int32_t units_per_ml) {
  if (units_per_ml == 0) {
    DividingByZero();
    return;
  }
  // Wide, so that the smallest int32 over -1 comes out whole.
  std::int64_t ml_per_hour = std::int64_t{units_per_hour} / units_per_ml;
  Print("The rate in milliliters per hour is %d.\n\n", ml_per_hour);
}

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Works out infusion rates for medical orders answered on standard input.");
  std::int32_t hours = 0;
  std::int32_t units_per_hour = 0;
  std::int32_t units_per_ml = 0;
  for (;;) {
    WallOfText();
    std::int32_t choice = 0;
    Outcome got = ReadOrSkip(choice);
    if (got == Outcome::kEnd) return 0;
    if (got == Outcome::kInvalid) continue;
    if (choice == 1) {
      double drops_per_minute = 0;
      got = OneInput(drops_per_minute);
      if (got == Outcome::kStored) OnePrint(drops_per_minute);
    } else if (choice == 2) {
      got = AskOrSkip("Enter number of hours=> ", hours);
      if (got == Outcome::kStored && hours == 0) {
        DividingByZero();
      } else if (got == Outcome::kStored) {
        Print("The rate in milliliters per hour is %d.\n\n", TwoAll(hours));
      }
    } else if (choice == 3) {
      double ml_per_hour = 0;
      got = ThreeInput(ml_per_hour);
      if (got == Outcome::kStored) ThreePrint(ml_per_hour);
    } else if (choice == 4) {
      got = AskOrSkip("Enter rate in units/hr=> ", units_per_hour);
      if (got == Outcome::kStored) {
        got = AskOrSkip("Enter concentration in units/ml=> ", units_per_ml);
      }
      if (got == Outcome::kStored) FourAll(units_per_hour, units_per_ml);
    } else if (choice == 5) {
      return 0;
    }
    if (got == Outcome::kEnd) return 0;
  }
}
