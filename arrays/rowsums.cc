// rowsums: the row sums of a fixed table of three rows and five columns.
#include <cstdint>

#include "console.h"

int main(int argc, char* argv[]) {
  TakeNoArguments(argc, argv, "Writes the row sums of a fixed table; it reads nothing.");
  // Five columns of three entries: the entries of one row lie three places apart.
  double table[5][3];
  for (int column = 0; column < 5; ++column) {
    for (int row = 0; row < 3; ++row) table[column][row] = 5 * row + column + 1;
  }
  double sums[3];
  for (int row = 0; row < 3; ++row) {
    sums[row] =
        table[0][row] + table[1][row] + table[2][row] + table[3][row] + table[4][row];
  }
  for (std::int32_t row = 0; row < 3; ++row)
    PrintLine("Row %d sum = %f", row + 1, sums[row]);
  return 0;
}
