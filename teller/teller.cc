// teller: a bank teller takes a four-letter user name, a withdrawal or a deposit and an
// amount in tens of dollars, and counts it out in fifty, twenty and ten dollar bills.
// Built twice: teller refuses an amount that is not a number, teller-basic takes it as 0.
#include <algorithm>
#include <cstdint>

#include "console.h"

#ifndef TELLER_CHECKS_NUMBERS
#define TELLER_CHECKS_NUMBERS 1
#endif

int main(int argc, char* argv[]) {
  constexpr bool kChecksNumbers = TELLER_CHECKS_NUMBERS;
  TakeNoArguments(
      argc, argv,
      kChecksNumbers
          ? "Counts a withdrawal or deposit, asked on standard input, out in bills."
          : "Counts a deposit or withdrawal asked on standard input; no number check.");

  Write("Enter the user name (4 characters): ");
  char name[4] = {};  // a name cut short by the end of input keeps NULs: no letters
  ReadCharAfterBlanks(name[0]);
  for (int i = 1; i < 4; ++i) ReadChar(name[i]);
  if (!std::all_of(name, name + 4, IsLetter)) {
    WriteLine("Invalid user name");
    return 0;
  }

  Write("Would you like to make a withdraw or deposit: ");
  char choice = 0;
  ReadCharAfterBlanks(choice);
  choice = ToLower(choice);
  if (choice == 'd') {
    Write("Enter the amount you would like to deposit: ");
  } else if (choice == 'w') {
    Write("Enter the amount you would like: ");
  } else {
    WriteLine("Invalid option");
    return 0;
  }

  std::int32_t amount = 0;
  if (ReadInteger(amount) != Outcome::kStored && kChecksNumbers) {
    WriteLine(kNotNumeric);
    return 0;
  }
  if (amount % 10 != 0) {
    WriteLine("Invalid entry: needs to be a multiple of 10");
    return 0;
  }
  bool withdraw = choice == 'w';
  if (amount == 0) {
    WriteLine(withdraw ? "You chose not to withdraw anything today"
                       : "You chose not to deposit anything today");
  }

  WriteLine(withdraw ? "You get back: " : "You put in: ");
  struct Bill {
    std::int32_t dollars;
    const char* name;
  };
  std::int32_t rest = amount;
  for (Bill bill : {Bill{50, "fifty"}, Bill{20, "twenty"}, Bill{10, "ten"}}) {
    std::int32_t count = rest / bill.dollars;
    rest -= bill.dollars * count;
    if (count == 1) {
      PrintLine("\t1 %s dollar bill", bill.name);
    } else if (count != 0) {
      PrintLine("\t%d %s dollar bills", count, bill.name);
    }
  }
  WriteLine("\n GOODBYE \n");
  return 0;
}
