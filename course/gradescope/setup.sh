#!/bin/sh
# Gradescope's autograder setup: installs the suite from its sources (SUITE_REPOSITORY,
# set here for the course) and builds its checker once, when the image is made.
set -eu
SUITE_REPOSITORY=${SUITE_REPOSITORY:-https://example.org/course/console-suite.git}
apt-get update
apt-get install -y g++ cmake make git python3
git clone --depth 1 "$SUITE_REPOSITORY" /autograder/suite
cmake -S /autograder/suite -B /autograder/suite/build -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF
cmake --build /autograder/suite/build --target suitecheck -j"$(nproc)"
