// runcalc: a running calculator. Each operator and number applies to the accumulator,
// which starts at 0, until the quit letter q.
#include <cmath>

#include "console.h"

// One read of an operator and the number it applies.
Outcome ScanData(char& op, double& operand) {
  Outcome got = ReadCharAfterBlanks(op);
  return got == Outcome::kStored ? ReadReal(operand) : got;
}

double DoNextOp(char op, double operand, double accumulator) {
  switch (op) {
    case '+':
      return accumulator + operand;
    case '-':
      return accumulator - operand;
    case '*':
      return accumulator * operand;
    case '/':
      if (operand == 0) {
        WriteLine("Error: dividing by 0");
        return accumulator;
      }
      return accumulator / operand;
    case '^':
      return std::pow(accumulator, operand);
    default:
      return accumulator;
  }
}

bool IsOperator(char op) {
  return op == '+' || op == '-' || op == '*' || op == '/' || op == '^';
}

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Keeps a running result of operator and number pairs read from standard input.");
  double accumulator = 0.0;
  char op = 'a';
  for (;;) {
    double operand = 0.0;
    Outcome got = ScanData(op, operand);
    if (got != Outcome::kStored) {
      // The number is left in the input for the next pair, unless the input is over.
      WriteLine("Error: Invalid input");
      if (got == Outcome::kEnd || op == 'q') return 0;
    } else if (IsOperator(op)) {
      accumulator = DoNextOp(op, operand, accumulator);
      PrintLine("result so far is %.1f", accumulator);
    } else if (op == 'q') {
      PrintLine("final result is %.1f", accumulator);
      return 0;
    } else {
      WriteLine("Error: Invalid operator");
    }
  }
}
