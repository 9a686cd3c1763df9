// A homework as the course names it once: its programs, the rows that count where only
// some do, what each is worth, and the rows kept from students until grades are out.
// A line the checker does not understand is refused with its place, never guessed at.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "check.h"

namespace {

constexpr long long kMostCents = 1000000;  // 10000 points: past any homework's

[[noreturn]] void RefuseAt(const Assignment& assignment, int line,
                           const std::string& why) {
  Refuse(assignment.file + ":" + std::to_string(line) + ": " + why);
}

// Points as cents, from `1`, `2.5` or `0.25`; -1 for anything else, `1e308` and `inf`
// among them, so that every sum is exact and every file holds a number.
long long CentsFrom(const std::string& word) {
  std::size_t point = word.find('.');
  std::string whole = word.substr(0, point);
  std::string part = point == word.npos ? "" : word.substr(point + 1);
  auto digits = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || whole.size() > 6 || !digits(whole) || !digits(part) ||
      part.size() > 2 || (point != word.npos && part.empty()))
    return -1;
  part.resize(2, '0');
  return std::stoll(whole) * 100 + std::stoll(part);
}

// How many single letters, put in, left out, changed or swapped, part `a` from `b`, as a
// person slips in typing a name; letter case counts for nothing.
std::size_t Distance(const std::string& a, const std::string& b) {
  auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  std::vector<std::vector<std::size_t>> d(a.size() + 1,
                                          std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t change = low(a[i - 1]) == low(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && low(a[i - 1]) == low(b[j - 2]) &&
          low(a[i - 2]) == low(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// `; did you mean NAME?` for the one of `names` nearest `typed`, where one is near.
std::string Meant(const std::string& typed, const std::vector<std::string>& names) {
  std::string best;
  std::size_t least = std::max<std::size_t>(2, typed.size() / 3) + 1;
  for (const std::string& name : names) {
    if (std::size_t distance = Distance(typed, name); distance < least) {
      least = distance;
      best = name;
    }
  }
  return best.empty() ? "" : "; did you mean " + best + "?";
}

}  // namespace

Assignment AssignmentFrom(const std::string& path) {
  std::ifstream in(PathOf(path), std::ios::binary);
  if (!in) Refuse(path + ": cannot be read");
  Assignment assignment{.file = path};
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::istringstream words(line.substr(0, line.find('#')));
    Part part{.line = number};
    if (!(words >> part.name)) continue;
    std::string program = part.name.substr(0, part.name.find('/'));
    if (!IsProgram(program))
      RefuseAt(assignment, number,
               program + ": no such program" + Meant(program, AllPrograms()));
    std::vector<std::string> rest;
    for (std::string word; words >> word;) rest.push_back(word);
    std::size_t at = 0;
    if (at < rest.size() && rest[at] != "hidden") {
      if ((part.cents = CentsFrom(rest[at])) < 0)
        RefuseAt(assignment, number,
                 rest[at] +
                     ": points are a number such as 10 or 2.5, with at most two "
                     "decimals");
      bool row = part.name.find('/') != part.name.npos;  // a row may count for nothing
      if ((part.cents == 0 && !row) || part.cents > kMostCents)
        RefuseAt(assignment, number,
                 rest[at] + ": points are from " + (row ? "0" : "0.01") + " to " +
                     Points(kMostCents));
      ++at;
    }
    if (at < rest.size() && rest[at] == "hidden") {
      part.hidden = true;
      ++at;
    }
    if (at < rest.size())
      RefuseAt(assignment, number,
               "expected PROGRAM or PROGRAM/ROW, its points, then `hidden` where "
               "students see it only once grades are published, not: " +
                   line);
    for (const Part& before : assignment.parts) {
      if (before.name == part.name)
        RefuseAt(assignment, number,
                 part.name + " is named already, on line " + std::to_string(before.line));
    }
    assignment.parts.push_back(part);
  }
  return assignment;
}

bool Assigned(const Assignment& assignment, const std::string& program) {
  return std::any_of(assignment.parts.begin(), assignment.parts.end(),
                     [&](const Part& it) {
                       return it.name == program || it.name.starts_with(program + "/");
                     });
}

std::vector<Counted> ShareOf(const Assignment& assignment, const std::string& program,
                             const std::vector<Transcript>& rows) {
  const Part* whole = nullptr;
  std::vector<const Part*> named(rows.size(), nullptr);
  std::vector<std::string> names;
  for (const Transcript& row : rows) names.push_back(program + "/" + row.name);
  for (const Part& part : assignment.parts) {
    if (part.name == program) {
      whole = &part;
    } else if (part.name.starts_with(program + "/")) {
      auto at = std::find(names.begin(), names.end(), part.name);
      if (at == names.end())
        RefuseAt(assignment, part.line,
                 part.name + ": no such row" + Meant(part.name, names));
      named[static_cast<std::size_t>(at - names.begin())] = &part;
    }
  }
  std::vector<Counted> share;
  long long left = whole && whole->cents > 0 ? whole->cents : -1;  // to share out
  long long unnamed = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Part* part = named[i];
    if (!whole && !part) continue;  // only the rows named count
    bool priced = part && part->cents >= 0;
    share.push_back({.row = rows[i].name,
                     .cents = priced     ? part->cents
                              : left < 0 ? 100
                                         : -1,
                     .hidden = (whole && whole->hidden) || (part && part->hidden)});
    if (!priced) ++unnamed;
    if (priced && left >= 0 && (left -= part->cents) < 0)
      RefuseAt(assignment, part->line,
               part->name + ": its program's rows named are worth more than " + program +
                   "'s " + Points(whole->cents) + " (line " +
                   std::to_string(whole->line) + ")");
  }
  if (left < 0) return share;
  if (unnamed == 0 && left > 0)
    RefuseAt(assignment, whole->line,
             program + ": its rows are named worth " + Points(whole->cents - left) +
                 " in all, not " + Points(whole->cents));
  if (unnamed > left)
    RefuseAt(assignment, whole->line,
             program + ": its rows named leave " + Points(left) + " of its " +
                 Points(whole->cents) + " for its " + std::to_string(unnamed) +
                 " others, less than a hundredth each");
  // The points left shared in hundredths, the first rows taking what does not divide,
  // so that the rows' points add up to the program's exactly.
  long long each = unnamed ? left / unnamed : 0, over = unnamed ? left % unnamed : 0;
  for (Counted& row : share) {
    if (row.cents < 0) row.cents = each + (over-- > 0 ? 1 : 0);
  }
  return share;
}
