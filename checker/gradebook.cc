// The grades handed back in the platform's own file: the gradebook it exported (Moodle's
// grading worksheet, Canvas's gradebook), the assignment's column filled for each
// student graded, matched by the platform's id; every other byte as it was.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "check.h"
#include "unpack.h"

namespace {

// A cell as it stands in the file, quotes and all, and what it says.
struct Cell {
  std::string raw, value;
};

// A line of the file (a record, which a quoted cell may carry over several lines), and
// what ends it.
struct Line {
  std::vector<Cell> cells;
  std::string end;
};

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> records(1);
  records.back().cells.emplace_back();
  for (std::size_t at = 0; at < text.size();) {
    Line& record = records.back();
    Cell& cell = record.cells.back();
    char c = text[at];
    if (c == '"' && cell.raw.empty()) {  // a quoted cell, to its closing quote
      std::size_t end = at + 1;
      for (;; ++end) {
        if (end >= text.size()) break;
        if (text[end] == '"') {
          if (end + 1 < text.size() && text[end + 1] == '"') {
            cell.value += '"';
            ++end;
            continue;
          }
          break;
        }
        cell.value += text[end];
      }
      cell.raw = text.substr(at, std::min(end + 1, text.size()) - at);
      at = end + 1;
    } else if (c == ',') {
      record.cells.emplace_back();
      ++at;
    } else if (c == '\n' || (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
      record.end = c == '\n' ? "\n" : "\r\n";
      at += record.end.size();
      if (at < text.size()) {
        records.emplace_back();
        records.back().cells.emplace_back();
      }
    } else {
      cell.raw += c;
      cell.value += c;
      ++at;
    }
  }
  return records;
}

std::string CsvCell(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == value.npos) return value;
  std::string quoted = "\"";
  for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// The column whose name is `name`, a byte-order mark before the first set aside; -1.
int ColumnOf(const Line& header, const std::string& name) {
  for (std::size_t i = 0; i < header.cells.size(); ++i) {
    std::string value = header.cells[i].value;
    if (i == 0 && value.starts_with("\xef\xbb\xbf")) value.erase(0, 3);
    if (value == name) return static_cast<int>(i);
  }
  return -1;
}

double NumberIn(const std::string& text) {
  char* end = nullptr;
  double number = std::strtod(text.c_str(), &end);
  return end != text.c_str() && std::isfinite(number) ? number : 0;
}

// Points of `max` on the platform's scale of `scale`, in two decimals at most.
std::string Grade(long long points, long long max, double scale) {
  double grade = max > 0 && scale > 0
                     ? static_cast<double>(points) * scale / static_cast<double>(max)
                     : static_cast<double>(points) / 100.0;
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", std::round(grade * 100) / 100);
  std::string shown = text;
  while (shown.ends_with("0") && shown.find('.') != shown.npos) shown.pop_back();
  if (shown.ends_with(".")) shown.pop_back();
  return shown;
}

}  // namespace

std::vector<std::string> FillGradebook(const Options& options, const Class* found,
                                       const std::vector<RowResult>& results) {
  std::vector<std::string> said;
  std::ifstream in(PathOf(options.worksheet), std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::vector<Line> records = Lines(text);
  if (!in || records.size() < 2)
    Refuse(options.worksheet + ": cannot be read as a gradebook");
  Line& header = records[0];
  // Moodle's worksheet: Identifier ("Participant ID"), Grade, Maximum grade. Canvas's
  // gradebook: ID, then a column an assignment, NAME (ID), its points on a line of
  // their own.
  int id_at = ColumnOf(header, "Identifier");
  bool moodle = id_at >= 0;
  int grade_at = moodle ? ColumnOf(header, "Grade") : -1;
  int scale_at = moodle ? ColumnOf(header, "Maximum grade") : -1;
  double scale = 0;
  if (!moodle) {
    id_at = ColumnOf(header, "ID");
    if (id_at < 0)
      Refuse(options.worksheet +
             ": neither Moodle's grading worksheet (no Identifier column) nor Canvas's "
             "gradebook (no ID column)");
    std::string columns;
    for (std::size_t i = 0; i < header.cells.size(); ++i) {
      const std::string& name = header.cells[i].value;
      bool assignment = name.ends_with(")") && name.rfind(" (") != name.npos;
      if (!assignment) continue;
      columns += (columns.empty() ? "" : ", ") + name;
      if (!options.column.empty() &&
          (name == options.column || name.starts_with(options.column + " (")))
        grade_at = static_cast<int>(i);
    }
    if (grade_at < 0)
      Refuse(options.worksheet +
             ": --column names the assignment's column, one of: " + columns);
    for (const Line& record : records) {
      if (!record.cells.empty() &&
          record.cells[0].value.find("Points Possible") != std::string::npos &&
          static_cast<int>(record.cells.size()) > grade_at)
        scale = NumberIn(record.cells[static_cast<std::size_t>(grade_at)].value);
    }
  }
  if (grade_at < 0) Refuse(options.worksheet + ": no Grade column");
  if (!found) return said;  // read and understood, before any row runs
  // Each student graded, by the platform's id.
  std::map<std::string, const Student*> by_shown;
  for (const Student& student : found->students) by_shown[student.shown] = &student;
  std::map<std::string, std::pair<long long, long long>> graded;  // id: points, max
  for (const Summary& summary : Summaries(results)) {
    auto student = by_shown.find(summary.submission);
    if (student == by_shown.end() || student->second->id.empty()) continue;
    graded[student->second->id] = {summary.points, summary.max};
  }
  std::map<std::string, bool> matched;
  for (Line& record : records) {
    if (&record == &header || static_cast<int>(record.cells.size()) <= grade_at) continue;
    std::string id = record.cells[static_cast<std::size_t>(id_at)].value;
    if (moodle && id.starts_with("Participant ")) id.erase(0, 12);
    if (id.empty() || id.find_first_not_of("0123456789") != id.npos) continue;
    Cell& cell = record.cells[static_cast<std::size_t>(grade_at)];
    auto grade = graded.find(id);
    if (grade != graded.end()) {
      double own =
          moodle && scale_at >= 0 && static_cast<int>(record.cells.size()) > scale_at
              ? NumberIn(record.cells[static_cast<std::size_t>(scale_at)].value)
              : scale;
      cell.value = Grade(grade->second.first, grade->second.second, own);
      matched[id] = true;
    } else if (options.absent == "zero") {
      cell.value = "0";
    } else {
      continue;
    }
    cell.raw = CsvCell(cell.value);
  }
  for (const Student& student : found->students) {
    if (!student.id.empty() && graded.count(student.id) && !matched[student.id])
      said.push_back(Visible(student.shown) + " (" + student.id +
                     "): no line of theirs in " + Visible(options.worksheet));
  }
  std::string filled;
  for (const Line& record : records) {
    for (std::size_t i = 0; i < record.cells.size(); ++i)
      filled += (i ? "," : "") + record.cells[i].raw;
    filled += record.end;
  }
  std::string temporary = WriteNew(options.grades, filled);
  std::error_code error;
  if (!temporary.empty())
    std::filesystem::rename(PathOf(temporary), PathOf(options.grades), error);
  if (temporary.empty() || error)
    throw std::runtime_error(options.grades + ": write error");
  said.push_back(std::to_string(matched.size()) + " grade" +
                 (matched.size() == 1 ? "" : "s") + " filled in " +
                 Visible(options.grades));
  // Moodle takes back a zip of feedback files, named as its download named each.
  if (moodle && !options.feedback.empty()) {
    std::map<std::string, std::string> reports;
    for (const RowResult& result : results) {
      auto student = by_shown.find(result.submission);
      if (student == by_shown.end()) continue;
      std::string& report = reports[student->second->name + "_" + student->second->id +
                                    "_assignsubmission_file_/report.txt"];
      report += result.program + "/" + result.row + ": " + result.verdict.Name() + "\n";
      if (!result.verdict.Passed() && !result.hidden) report += result.report + "\n";
    }
    std::vector<std::pair<std::string, std::string>> files(reports.begin(),
                                                           reports.end());
    if (std::string why = WriteZip(options.feedback, files); !why.empty())
      throw std::runtime_error(options.feedback + ": " + why);
    said.push_back(std::to_string(files.size()) + " feedback file" +
                   (files.size() == 1 ? "" : "s") + " in " + Visible(options.feedback));
  }
  return said;
}
