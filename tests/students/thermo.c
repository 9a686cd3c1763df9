/* A student's thermo in plain C, right in every row: the sample a course's CI files
   are tried with. */
#include <stdio.h>

int main(void) {
  int fahrenheit = 0;
  printf("Enter the temperature in degrees Fahrenheit: ");
  int read = scanf("%d", &fahrenheit);
  if (read == EOF) return 0;
  if (read != 1) {
    printf("Invalid entry: needs to be numeric\n");
    return 0;
  }
  printf("Your temperature in degrees Celsius: %f\n", (fahrenheit - 32.0) * 5 / 9);
  return 0;
}
