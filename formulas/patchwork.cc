// patchwork: prices a round quilt, its area and edge from the diameter, and shares the
// cost among the people sewing it, both costs rounded up to whole cents.
#include <cmath>
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Costs a round quilt by its size, fabric and sewers, asked on standard input.");
  std::int32_t diameter = 0;
  std::int32_t fabric_cost = 0;
  std::int32_t people = 0;
  if (!AskOrQuit("Enter integer diameter of the Quilt in feet: ", diameter)) return 0;
  if (!AskOrQuit("Enter the fabric cost per square foot (in cents): ", fabric_cost))
    return 0;
  if (!AskOrQuit("Enter the number of people sewing the quilt: ", people)) return 0;

  std::int32_t radius = diameter / 2;
  double area = 3.141593 * radius * radius;
  double circumference = 6.283186 * radius;
  // 96 cents a foot of radius, in 64 bits so that no diameter wraps it.
  std::int64_t radius_cost = std::int64_t{96} * radius;
  double total_cost =
      fabric_cost * area + static_cast<double>(radius_cost) + 20 * circumference;
  double cost_per_person = total_cost / people;

  PrintLine("The area of the quilt is %.2f square feet.", area);
  PrintLine("The circumference of the quilt is %.2f square feet.", circumference);
  PrintLine("The total cost for the quilt is %.0f cents.", std::ceil(total_cost));
  PrintLine("The cost per person is %.0f cents.", std::ceil(cost_per_person));
  return 0;
}
