// flowguess: the flow of a rectangular channel by Manning's equation, then a game of
// guessing the water depth that carries 1000 cubic feet per second.
#include <cmath>
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(argc, argv,
                  "Gives a channel's flow, then takes depth guesses on standard input.");
  constexpr double kTargetFlow = 1000.0;
  std::int32_t depth = 0;
  std::int32_t width = 0;
  if (!AskOrQuit("Enter the depth of the channel (1 to 50, whole integers): ", depth))
    return 0;
  if (!AskOrQuit("\nEnter the width of the channel (1 to 25, whole integers): ", width))
    return 0;
  if (depth < 1 || depth > 50 || width < 1 || width > 25) {
    WriteLine("\nError: Width and Depth values incorrect\n");
    return 0;
  }

  // Cubic feet per second with the water at depth y; roughness 0.014, slope 0.0015.
  auto flow = [width](double y) {
    double perimeter = width + 2 * y;
    double area = y * width;
    double radius = area / perimeter;
    double velocity =
        std::pow(radius, 0.6666666666666666) * 106.14285714285714 * 0.03872983346207417;
    return velocity * area;
  };

  double half_depth = depth / 2.0;
  Print("\n\n\nAt a depth of %.1f feet, the flow is ", half_depth);
  Print("%.4f cubic feet per second.\n\n", flow(half_depth));
  Write("Enter your initial guess (0 < guess < 10) ");
  WriteLine("for the water depth\n");
  Print("when a flow of %.1f cubic feet ", kTargetFlow);
  WriteLine("per second is desired.");

  double error_percent = 1.0;
  // Ends only on a flow strictly within a tenth of a percent of the target.
  while (!(error_percent > -0.1 && error_percent < 0.1)) {
    double guess = 0;
    Outcome got = AskOrSkip("\n\nEnter guess>", guess);
    if (got == Outcome::kEnd) return 0;
    if (got == Outcome::kInvalid) continue;
    if (guess > depth) {
      Write("\nError: Guesses cannot exceed the depth of the channel");
    } else if (guess <= 0) {
      Write("\nError: Guesses can not be 0 or negative");
    } else {
      double guessed_flow = flow(guess);
      double difference = kTargetFlow - guessed_flow;
      error_percent = difference / 10.0;
      Print("\n\n\nDepth: %.6f ft", guess);
      Print("\tFlow: %.4f cf/s", guessed_flow);
      Print("\tTarget: %.1f cf/s\n\n", kTargetFlow);
      Print("Difference: %.4f", difference);
      Print("\tError: %.4f percent\n", error_percent);
    }
  }
  WriteLine("\nGOOD GUESS!\n\n");
  return 0;
}
