# A student's thermo in Python, right in every row: input() writes its prompt to
# standard error where both streams are a terminal, standard output where they are not.
import re
import sys

try:
    line = input("Enter the temperature in degrees Fahrenheit: ")
    while not line.strip():  # as scanf, past blank lines to the number
        line = input()
except EOFError:
    sys.exit(0)
number = re.match(r"\s*([-+]?\d+)", line)
if not number:
    print("Invalid entry: needs to be numeric")
    sys.exit(0)
fahrenheit = max(-2**31, min(2**31 - 1, int(number.group(1))))
print("Your temperature in degrees Celsius: %f" % ((fahrenheit - 32) * 5 / 9))
