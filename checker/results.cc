#include "results.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

std::string Number(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string Json(const std::string& text) {
  std::string quoted = "\"";
  for (char byte : text) {
    auto c = static_cast<unsigned char>(byte);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// XML 1.0 has no way to write most control bytes, so they are written as the report
// writes them.
std::string Xml(const std::string& text) {
  std::string escaped;
  for (char byte : text) {
    auto c = static_cast<unsigned char>(byte);
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
          escaped += Visible(std::string(1, static_cast<char>(c)));
        } else {
          escaped += static_cast<char>(c);
        }
    }
  }
  return escaped;
}

std::string Csv(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == text.npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// The outcomes a submission and program, in the order they came.
std::vector<std::vector<const RowResult*>> Grouped(
    const std::vector<RowResult>& outcomes) {
  std::vector<std::vector<const RowResult*>> groups;
  for (const RowResult& outcome : outcomes) {
    if (groups.empty() || groups.back()[0]->submission != outcome.submission ||
        groups.back()[0]->program != outcome.program) {
      groups.emplace_back();
    }
    groups.back().push_back(&outcome);
  }
  return groups;
}

std::string SuiteName(const RowResult& outcome, char between) {
  return outcome.submission.empty() ? outcome.program
                                    : outcome.submission + between + outcome.program;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
  file.close();
  if (!file) throw std::runtime_error(Visible(path.string()) + ": cannot be written");
}

constexpr char kExportReadme[] =
    "# The rows of the console suite, for other graders\n"
    "\n"
    "One folder a program, two files a row: `ROW.in`, the bytes given on standard\n"
    "input, and `ROW.ans`, the bytes the program must write on standard output. The\n"
    "row `page` is the example of the program's manual page.\n"
    "\n"
    "- The answers are exact bytes: blanks, line breaks, the lack of a last line\n"
    "  break and every digit. Compare them byte for byte. A comparison blind to\n"
    "  white space would pass the very mistakes these rows exist to catch (a\n"
    "  missing blank after a prompt, a line break too many).\n"
    "- Every run must end by itself with status 0.\n";

}  // namespace

void WriteJson(std::ostream& out, const std::vector<RowResult>& outcomes) {
  out << "[";
  const char* between = "\n";
  for (const RowResult& outcome : outcomes) {
    out << between << "{";
    if (!outcome.submission.empty())
      out << "\"submission\": " << Json(outcome.submission) << ", ";
    out << "\"program\": " << Json(outcome.program) << ", \"row\": " << Json(outcome.row)
        << ", \"verdict\": " << Json(outcome.verdict.word)
        << ", \"detail\": " << Json(outcome.verdict.detail)
        << ", \"seconds\": " << Number(outcome.seconds) << "}";
    between = ",\n";
  }
  out << "\n]\n";
}

void WriteJunit(std::ostream& out, const std::vector<RowResult>& outcomes) {
  std::size_t failures = 0;
  for (const RowResult& outcome : outcomes) failures += outcome.verdict.word != "passed";
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\""
      << outcomes.size() << "\" failures=\"" << failures << "\">\n";
  for (const auto& group : Grouped(outcomes)) {
    std::size_t failed = 0;
    double seconds = 0;
    for (const RowResult* outcome : group) {
      failed += outcome->verdict.word != "passed";
      seconds += outcome->seconds;
    }
    out << "  <testsuite name=\"" << Xml(SuiteName(*group[0], '/')) << "\" tests=\""
        << group.size() << "\" failures=\"" << failed << "\" time=\"" << Number(seconds)
        << "\">\n";
    for (const RowResult* outcome : group) {
      out << "    <testcase classname=\"" << Xml(SuiteName(*outcome, '.')) << "\" name=\""
          << Xml(outcome->row) << "\" time=\"" << Number(outcome->seconds) << "\"";
      if (outcome->verdict.word == "passed") {
        out << "/>\n";
        continue;
      }
      out << ">\n      <failure type=\"" << Xml(outcome->verdict.word) << "\" message=\""
          << Xml(outcome->verdict.said) << "\">" << Xml(outcome->report)
          << "</failure>\n    </testcase>\n";
    }
    out << "  </testsuite>\n";
  }
  out << "</testsuites>\n";
}

void WriteCsv(std::ostream& out, const std::vector<RowResult>& outcomes) {
  // A column a row name, in the order the rows first come.
  std::vector<std::string> columns;
  std::map<std::string, std::size_t> column_of;
  for (const RowResult& outcome : outcomes) {
    if (column_of.emplace(outcome.row, columns.size()).second)
      columns.push_back(outcome.row);
  }
  bool each = !outcomes.empty() && !outcomes[0].submission.empty();
  out << (each ? "submission," : "") << "program,passed,failed";
  for (const std::string& column : columns) out << "," << Csv(column);
  out << "\r\n";
  for (const auto& group : Grouped(outcomes)) {
    std::vector<std::string> cells(columns.size());
    std::size_t passed = 0;
    for (const RowResult* outcome : group) {
      passed += outcome->verdict.word == "passed";
      cells[column_of[outcome->row]] = outcome->verdict.word;
    }
    if (each) out << Csv(group[0]->submission) << ",";
    out << Csv(group[0]->program) << "," << passed << "," << group.size() - passed;
    for (const std::string& cell : cells) out << "," << cell;
    out << "\r\n";
  }
}

void Export(const std::string& folder, const std::vector<Transcript>& rows) {
  std::filesystem::path top = PathOf(folder);
  std::error_code error;
  for (const Transcript& row : rows) {
    std::filesystem::path place = top / row.program;
    std::filesystem::create_directories(place, error);
    if (error) {
      throw std::runtime_error(Visible(place.string()) +
                               ": cannot be made: " + error.message());
    }
    Write(place / (row.name + ".in"), row.input);
    Write(place / (row.name + ".ans"), row.output);
  }
  Write(top / "README.md", kExportReadme);
}
