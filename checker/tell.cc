// The report to a person: a line a program with a mark a row, its first failing row in
// full and the others by name; then, for a class, a line a submission.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "check.h"

namespace {

char Mark(const Verdict& verdict) {
  return About(verdict.word).mark;
}

// The columns `text` takes on a terminal: a character one, a wide one (CJK, emoji) two,
// a combining accent none.
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = static_cast<unsigned char>(text[at]);
    std::size_t length = std::max<std::size_t>(1, Utf8Length(text, at, &c));
    at += length;
    bool combining = (c >= 0x300 && c < 0x370) || (c >= 0x20d0 && c < 0x2100);
    bool wide = (c >= 0x1100 && c < 0x1160) || (c >= 0x2e80 && c < 0xa4d0) ||
                (c >= 0xac00 && c < 0xd7a4) || (c >= 0xf900 && c < 0xfb00) ||
                (c >= 0xfe30 && c < 0xfe50) || (c >= 0xff00 && c < 0xff61) ||
                (c >= 0xffe0 && c < 0xffe7) || (c >= 0x1f300 && c < 0x1fa00) ||
                (c >= 0x20000 && c < 0x3fffe);
    columns += combining ? 0 : wide ? 2 : 1;
  }
  return columns;
}

}  // namespace

std::string Padded(const std::string& text, std::size_t width) {
  std::size_t columns = Columns(text);
  return columns >= width ? text : text + std::string(width - columns, ' ');
}

// One line for `unit`, a mark a row as `next` gives its result; then its first failure
// in full, one that is more than line ends where there is one, and the rest by name,
// since one fault often fails many rows.
void Tell(const Unit& unit, bool each, bool crlf, bool all,
          const std::function<const RowResult&()>& next, Counts& counts) {
  std::string label = each ? Padded(Visible(unit.submission), 14) + " " : "";
  label += Padded(unit.program, 14) + " ";
  if (!unit.broken.empty()) {
    std::printf("%scannot read its rows: %s\n", label.c_str(), unit.broken.c_str());
    ++counts.broken;
    return;
  }
  std::fputs(label.c_str(), stdout);
  std::vector<const RowResult*> bad;
  bool crlf_written = false;
  for (std::size_t i = 0; i < unit.rows.size(); ++i) {
    const RowResult& result = next();
    if (!unit.before) std::fputc(Mark(result.verdict), stdout);
    std::fflush(stdout);
    crlf_written = crlf_written || result.wrote_crlf;
    if (!result.verdict.Passed()) bad.push_back(&result);
  }
  counts.passed += static_cast<int>(unit.rows.size() - bad.size());
  counts.failed += static_cast<int>(bad.size());
  if (unit.before) {  // missing, or not a program: one line says it for every row
    std::printf("%s\n%s", unit.before->said.c_str(), unit.note.c_str());
    counts.missing += About(unit.before->word).missing;
    return;
  }
  // Rows that differ only in their line ends are one mistake, counted apart.
  auto line_ends = [](const RowResult* result) {
    return result->verdict.detail == "line-ends";
  };
  std::stable_partition(bad.begin(), bad.end(), [&](auto* it) { return !line_ends(it); });
  std::size_t only_ends =
      static_cast<std::size_t>(std::count_if(bad.begin(), bad.end(), line_ends));
  std::printf(
      " %zu passed, %zu failed%s\n%s", unit.rows.size() - bad.size(), bad.size(),
      only_ends > 0
          ? (", " + std::to_string(only_ends) + " of them only in line ends").c_str()
          : "",
      unit.note.c_str());
  if (crlf_written) std::fputs(CrlfNote(unit.program, crlf).c_str(), stdout);
  if (bad.empty()) return;
  // In full: every failing row, with --all or where rows were named; else the first.
  std::size_t in_full = all ? bad.size() : 1;
  for (std::size_t i = 0; i < bad.size(); ++i) {
    if (i < in_full) {
      std::fputs(((each ? Visible(unit.submission) + ": " : "") + bad[i]->report).c_str(),
                 stdout);
    }
  }
  std::string others, ends;
  for (std::size_t i = in_full; i < bad.size(); ++i) {
    (line_ends(bad[i]) ? ends : others) += " " + bad[i]->row;
  }
  if (!others.empty() || !ends.empty()) {
    std::printf("%s%s also failed:%s%s%s\n",
                (each ? Visible(unit.submission) + ": " : "").c_str(),
                unit.program.c_str(), others.c_str(),
                ends.empty()     ? ""
                : others.empty() ? " only in line ends:"
                                 : "; only in line ends:",
                ends.c_str());
  }
}

// A line a submission: its counts and what failed, for a person to grade by.
void TellClass(const std::vector<RowResult>& results) {
  std::printf("== each submission\n%s points    max passed failed  what failed\n",
              Padded("submission", 14).c_str());
  std::size_t at = 0;
  for (const Summary& summary : Summaries(results)) {
    std::map<std::string, int> what;
    for (; at < results.size() && results[at].submission == summary.submission; ++at) {
      if (!results[at].verdict.Passed())
        ++what[results[at].program + " " + results[at].verdict.Name()];
    }
    std::string failures;
    for (const auto& [kind, rows] : what) {
      failures += (failures.empty() ? "  " : ", ") + kind + " " + std::to_string(rows);
    }
    std::printf("%s %6s %6s %6d %6d%s\n", Padded(Visible(summary.submission), 14).c_str(),
                Points(summary.points).c_str(), Points(summary.max).c_str(),
                summary.passed, summary.failed, failures.c_str());
  }
}

void TellFound(const Class& found) {
  for (const std::string& name : found.left_out) {
    std::printf("%s: a file, not a submission: left out\n", Visible(name).c_str());
  }
  std::string late, refused;
  for (const Student& student : found.students) {
    if (student.late) late += (late.empty() ? "" : ", ") + Visible(student.name);
    if (!student.refused.empty())
      refused += Visible(student.shown) + ": " + Visible(student.refused) + "\n";
  }
  std::size_t count = found.students.size();
  std::printf(
      "%zu submission%s%s%s%s\n%s", count, count == 1 ? "" : "s",
      found.platform.empty() ? "" : (" in a " + found.platform + " download").c_str(),
      late.empty() ? "" : "; late: ", late.c_str(), refused.c_str());
}
