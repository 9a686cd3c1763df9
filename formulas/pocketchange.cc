// pocketchange: what a handful of pennies, nickels and dimes is worth in dollars.
#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Values pennies, nickels and dimes, asked on standard input, in dollars.");
  double pennies = 0;
  double nickels = 0;
  double dimes = 0;
  if (!AskOrQuit("How many pennies: ", pennies)) return 0;
  if (!AskOrQuit("How many nickels: ", nickels)) return 0;
  if (!AskOrQuit("How many dimes: ", dimes)) return 0;

  double cents = dimes * 10 + nickels * 5 + pennies;
  double dollars = cents / 100;
  Print("Your collection is worth:\n $%.2f\n", dollars);
  return 0;
}
