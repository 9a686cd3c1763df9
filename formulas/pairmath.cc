// pairmath: the sum, difference, product and quotient of two numbers, the first
// always on the left.
#include "console.h"

double Addition(double a, double b) {
  return a + b;
}
double Subtraction(double a, double b) {
  return a - b;
}
double Multiply(double a, double b) {
  return a * b;
}
double Division(double a, double b) {
  return a / b;
}  // by zero: an infinity or not-a-number

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Adds, subtracts, multiplies and divides two numbers asked on standard input.");
  double first = 0;
  double second = 0;
  if (!AskOrQuit("Enter an integer: ", first)) return 0;
  if (!AskOrQuit("Enter another integer: ", second)) return 0;
  PrintLine("The sum of your two numbers is %.0f.", Addition(first, second));
  Write("The difference between your ");
  PrintLine("two numbers is %.0f.", Subtraction(first, second));
  PrintLine("The product of your two numbers is %.0f.", Multiply(first, second));
  Write("The quotient of your two numbers ");
  PrintLine("(rounded to hundredths) is %.2f.", Division(first, second));
  return 0;
}
