// A student's program that needs a fixed share of the processor: it spins for the
// processor seconds given, then becomes the program named, so that a class of them
// tells whether a verdict depends on who else is graded at the same time.
#include <unistd.h>

#include <cstdlib>
#include <ctime>

int main(int argc, char* argv[]) {
  if (argc < 3) return 2;
  double goal = std::atof(argv[1]);
  volatile unsigned long spun = 0;
  while (static_cast<double>(std::clock()) / CLOCKS_PER_SEC < goal) spun = spun + 1;
  execv(argv[2], argv + 2);
  return 127;
}
