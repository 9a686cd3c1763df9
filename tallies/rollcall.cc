// rollcall: reads a roster of first name, last name and age up to the end record
// DONE DONE 0, then counts the people bearing a first name and a last name, whatever
// the case of their letters.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

std::string Fold(std::string word) {
  for (char& c : word) c = ToLower(c);
  return word;
}

// The name that starts at `at` in a text of names each followed by a blank; no name
// holds a blank, so the blank marks where it ends.
std::string_view NextName(const std::string& names, std::size_t& at) {
  std::size_t end = names.find(' ', at);
  std::string_view name(names.data() + at, end - at);
  at = end + 1;
  return name;
}

int main(int argc, char* argv[]) {
  TakeNoArguments(
      argc, argv,
      "Queries a roster of names and ages read from standard input, without prompts.");
  // The roster, folded: every first and last name in one text, the ages beside it.
  std::string names;
  std::vector<std::int32_t> ages;
  std::string first;
  std::string last;
  std::int32_t age = 0;
  for (;;) {
    if (!ReadOrQuit(first, last, age)) return 0;
    if (first == "DONE" && last == "DONE" && age == 0) break;
    names += Fold(first);
    names += ' ';
    names += Fold(last);
    names += ' ';
    ages.push_back(age);
  }
  std::string first_query;
  std::string last_query;
  if (Read(first_query, last_query) != Outcome::kStored) return 0;

  std::string folded_first = Fold(first_query);
  std::string folded_last = Fold(last_query);
  std::int64_t total_age = 0;
  std::int64_t first_matches = 0;
  std::int64_t first_age = 0;
  std::int64_t last_matches = 0;
  std::int64_t last_age = 0;
  std::size_t at = 0;
  for (std::int32_t person_age : ages) {
    if (NextName(names, at) == folded_first) {
      ++first_matches;
      first_age += person_age;
    }
    if (NextName(names, at) == folded_last) {
      ++last_matches;
      last_age += person_age;
    }
    total_age += person_age;
  }

  PrintLine("%d people.  Total age is %d.", static_cast<std::int64_t>(ages.size()),
            total_age);
  Print("%d people with first name %s.  ", first_matches, first_query);
  PrintLine("Total age is %d.", first_age);
  Print("%d people with last name %s.  ", last_matches, last_query);
  PrintLine("Total age is %d.", last_age);
  return 0;
}
