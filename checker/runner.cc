// What the runners of every system share.
#include "runner.h"

#include <algorithm>

double WaitBound(const Bounds& bounds) {
  return bounds.wait > 0 ? bounds.wait : std::max(3 * bounds.seconds, bounds.seconds + 5);
}
