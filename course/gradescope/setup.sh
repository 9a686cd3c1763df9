#!/bin/sh
# Gradescope's autograder setup, run once when the image is made: installs what the
# image lacks and builds the checker from the course's copy of the suite, named here.
set -eu
SUITE_REPOSITORY=
top=${AUTOGRADER:-/autograder}
if [ -z "$SUITE_REPOSITORY" ]; then
  echo "setup.sh: name the course's copy of the suite in SUITE_REPOSITORY, at the top of setup.sh" >&2
  exit 1
fi
for tool in g++ cmake make git python3; do
  command -v "$tool" >/dev/null || missing=yes
done
if [ -n "${missing-}" ]; then
  apt-get update && apt-get install -y g++ cmake make git python3
fi
git clone --depth 1 "$SUITE_REPOSITORY" "$top/suite"
cmake -S "$top/suite" -B "$top/suite/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$top/suite/build" --target suitecheck -j"$(nproc)"
