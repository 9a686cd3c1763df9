#include "results.h"

#include <algorithm>
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

// `text` with each byte that is no part of UTF-8 written as its escape, so that every
// file holds text, and a name that is not UTF-8 reads the same in all of them.
std::string Utf8(const std::string& text) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = Utf8Length(text, at, nullptr);
    if (length == 0) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x",
                    static_cast<unsigned char>(text[at]));
      kept += escape;
      ++at;
    } else {
      kept.append(text, at, length);
      at += length;
    }
  }
  return kept;
}

std::string Json(const std::string& raw) {
  std::string text = Utf8(raw);
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

// The entity that writes `c` in XML and HTML text and attributes, where it needs one.
const char* Entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return nullptr;
  }
}

// XML 1.0 has no way to write most control bytes, nor U+FFFE and U+FFFF, so they are
// written as the report writes them.
std::string Xml(const std::string& raw) {
  std::string text = Utf8(raw);
  std::string escaped;
  for (std::size_t at = 0; at < text.size(); ++at) {
    auto c = static_cast<unsigned char>(text[at]);
    char32_t point = 0;
    if (c >= 0x80 && Utf8Length(text, at, &point) == 3 && point >= 0xfffe) {
      escaped += point == 0xfffe ? "\\u{fffe}" : "\\u{ffff}";
      at += 2;
      continue;
    }
    if (const char* entity = Entity(static_cast<char>(c))) {
      escaped += entity;
      continue;
    }
    if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7f) {
      escaped += Visible(std::string(1, static_cast<char>(c)));
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

// A cell as a spreadsheet reads it: quoted where it must be, and never a formula: one
// that begins as a formula would is kept as text by a leading '.
std::string Csv(const std::string& raw) {
  std::string text = Utf8(raw);
  if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos) {
    text = "'" + text;
  }
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

std::string Points(long long cents) {
  char text[48];
  if (cents % 100 == 0) {
    std::snprintf(text, sizeof text, "%lld", cents / 100);
  } else {
    std::snprintf(text, sizeof text, cents % 10 ? "%lld.%02lld" : "%lld.%lld",
                  cents / 100, cents % 10 ? cents % 100 : cents % 100 / 10);
  }
  return text;
}

std::vector<Summary> Summaries(const std::vector<RowResult>& outcomes) {
  std::vector<Summary> summaries;
  for (const RowResult& outcome : outcomes) {
    if (summaries.empty() || summaries.back().submission != outcome.submission) {
      summaries.push_back({.submission = outcome.submission});
    }
    Summary& summary = summaries.back();
    bool passed = outcome.verdict.Passed();
    summary.points += passed ? outcome.worth : 0;
    summary.max += outcome.worth;
    summary.passed += passed;
    summary.failed += !passed;
  }
  return summaries;
}

void WriteJson(std::ostream& out, const std::vector<RowResult>& outcomes) {
  out << "{\"submissions\": [";
  const char* between = "\n";
  for (const Summary& summary : Summaries(outcomes)) {
    out << between << "{\"submission\": " << Json(summary.submission)
        << ", \"points\": " << Points(summary.points)
        << ", \"max\": " << Points(summary.max) << ", \"passed\": " << summary.passed
        << ", \"failed\": " << summary.failed << "}";
    between = ",\n";
  }
  out << "\n],\n\"rows\": [";
  between = "\n";
  for (const RowResult& outcome : outcomes) {
    out << between << "{";
    if (!outcome.submission.empty())
      out << "\"submission\": " << Json(outcome.submission) << ", ";
    out << "\"program\": " << Json(outcome.program) << ", \"row\": " << Json(outcome.row)
        << ", \"verdict\": " << Json(outcome.verdict.Name())
        << ", \"detail\": " << Json(outcome.verdict.detail)
        << ", \"points\": " << Points(outcome.verdict.Passed() ? outcome.worth : 0)
        << ", \"max\": " << Points(outcome.worth)
        << ", \"seconds\": " << Number(outcome.seconds) << "}";
    between = ",\n";
  }
  out << "\n]}\n";
}

void WriteJunit(std::ostream& out, const std::vector<RowResult>& outcomes) {
  std::size_t failures = 0;
  for (const RowResult& outcome : outcomes) failures += !outcome.verdict.Passed();
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\""
      << outcomes.size() << "\" failures=\"" << failures << "\">\n";
  for (const auto& group : Grouped(outcomes)) {
    std::size_t failed = 0;
    double seconds = 0;
    for (const RowResult* outcome : group) {
      failed += !outcome->verdict.Passed();
      seconds += outcome->seconds;
    }
    out << "  <testsuite name=\"" << Xml(SuiteName(*group[0], '/')) << "\" tests=\""
        << group.size() << "\" failures=\"" << failed << "\" time=\"" << Number(seconds)
        << "\">\n";
    for (const RowResult* outcome : group) {
      out << "    <testcase classname=\"" << Xml(SuiteName(*outcome, '.')) << "\" name=\""
          << Xml(outcome->row) << "\" time=\"" << Number(outcome->seconds) << "\"";
      if (outcome->verdict.Passed()) {
        out << "/>\n";
        continue;
      }
      out << ">\n      <failure type=\"" << Xml(outcome->verdict.Name())
          << "\" message=\"" << Xml(outcome->verdict.said) << "\">"
          << Xml(outcome->report) << "</failure>\n    </testcase>\n";
    }
    out << "  </testsuite>\n";
  }
  out << "</testsuites>\n";
}

void WriteCsv(std::ostream& out, const std::vector<RowResult>& outcomes) {
  // A column a program's points, then a column a row, named PROGRAM/ROW, in the order
  // they first come; UTF-8 with its mark, so that a spreadsheet reads names as written.
  std::vector<std::string> programs;
  std::vector<std::string> rows;
  std::map<std::string, std::size_t> program_at, row_at;
  for (const RowResult& outcome : outcomes) {
    if (program_at.emplace(outcome.program, programs.size()).second)
      programs.push_back(outcome.program);
    std::string row = outcome.program + "/" + outcome.row;
    if (row_at.emplace(row, rows.size()).second) rows.push_back(row);
  }
  out << "\xef\xbb\xbfsubmission,points,max";
  for (const std::string& program : programs) out << "," << Csv(program);
  for (const std::string& row : rows) out << "," << Csv(row);
  out << "\r\n";
  std::vector<Summary> summaries = Summaries(outcomes);
  std::size_t at = 0;
  for (const Summary& summary : summaries) {
    std::vector<long long> points(programs.size(), 0);
    std::vector<std::string> cells(rows.size());
    for (; at < outcomes.size() && outcomes[at].submission == summary.submission; ++at) {
      const RowResult& outcome = outcomes[at];
      bool passed = outcome.verdict.Passed();
      points[program_at[outcome.program]] += passed ? outcome.worth : 0;
      cells[row_at[outcome.program + "/" + outcome.row]] = outcome.verdict.Name();
    }
    out << Csv(summary.submission) << "," << Points(summary.points) << ","
        << Points(summary.max);
    for (long long each : points) out << "," << Points(each);
    for (const std::string& cell : cells) out << "," << cell;
    out << "\r\n";
  }
}

void WriteGradescope(std::ostream& out, const std::vector<RowResult>& outcomes) {
  long long score = 0;
  double seconds = 0;
  for (const RowResult& outcome : outcomes) {
    score += outcome.verdict.Passed() ? outcome.worth : 0;
    seconds += outcome.seconds;
  }
  out << "{\"score\": " << Points(score)
      << ", \"execution_time\": " << static_cast<long>(seconds + 0.5) << ", \"tests\": [";
  const char* between = "\n";
  for (const RowResult& outcome : outcomes) {
    bool passed = outcome.verdict.Passed();
    out << between << "{\"name\": " << Json(outcome.program + "/" + outcome.row)
        << ", \"score\": " << Points(passed ? outcome.worth : 0)
        << ", \"max_score\": " << Points(outcome.worth) << ", \"status\": \""
        << (passed ? "passed" : "failed")
        << "\", \"output\": " << Json(passed ? "" : outcome.report)
        << ", \"visibility\": \"" << (outcome.hidden ? "after_published" : "visible")
        << "\"}";
    between = ",\n";
  }
  out << "\n]}\n";
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

namespace {

// `text` as HTML text: no byte of a student's is ever markup.
std::string Html(const std::string& raw) {
  std::string escaped;
  for (char c : Utf8(raw)) {
    const char* entity = Entity(c);
    escaped += entity ? std::string(entity) : std::string(1, c);
  }
  return escaped;
}

// A JSON string that may stand inside a <script> element: no < at all.
std::string ScriptJson(const std::string& text) {
  std::string json = Json(text);
  std::string safe;
  for (char c : json) safe += c == '<' ? std::string("\\u003c") : std::string(1, c);
  return safe;
}

constexpr std::size_t kMostReport = 1500;  // bytes of a row's report on the page

constexpr char kPageStyle[] = R"(
body { font: 14px system-ui, sans-serif; margin: 1em; color: #222; }
h1 { font-size: 1.3em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #ccc; padding: 2px 4px; text-align: center; }
th.name, td.name { text-align: left; white-space: nowrap; }
th.program { font-weight: normal; font-size: 11px; writing-mode: vertical-rl; }
td.program { cursor: pointer; font-size: 11px; white-space: nowrap; }
td.program:focus, .cell:focus { outline: 2px solid #000; }
tr.rows > td { text-align: left; background: #fafafa; }
.rows div { margin: .3em 0; }
.cell { display: inline-block; cursor: pointer; font-size: 11px; margin: 1px;
        padding: 1px 4px; border: 1px solid #ccc; }
pre { background: #f6f6f6; border: 1px solid #ccc; padding: .5em;
      white-space: pre-wrap; overflow-wrap: anywhere; font: 12px ui-monospace, monospace; }
label { margin-right: 1em; }
)";

constexpr char kPageScript[] = R"(
const reports = JSON.parse(document.getElementById('reports').textContent);
const shown = document.getElementById('report');
const title = document.getElementById('which');
// A program's rows, and what its build said, under its student's line.
function open(block, wanted) {
  block.hidden = !wanted;
  const line = block.closest('tr.rows');
  line.hidden = ![...line.querySelectorAll('div[data-program]')].some((b) => !b.hidden);
  document.getElementById(block.dataset.cell).setAttribute('aria-expanded', wanted);
}
function show(cell) {
  open(cell.closest('div[data-program]'), true);
  title.textContent = cell.dataset.name + ': ' + cell.dataset.verdict;
  shown.textContent = reports[cell.dataset.report] || 'passed';
  history.replaceState(null, '', '#' + cell.id);
}
for (const cell of document.querySelectorAll('td.program')) {
  const block = document.getElementById(cell.dataset.rows);
  const toggle = () => open(block, block.hidden);
  cell.addEventListener('click', toggle);
  cell.addEventListener('keydown', (e) => { if (e.key === 'Enter') toggle(); });
}
for (const cell of document.querySelectorAll('.cell')) {
  cell.addEventListener('click', () => show(cell));
  cell.addEventListener('keydown', (e) => { if (e.key === 'Enter') show(cell); });
}
function filter() {
  const program = document.getElementById('program').value;
  const verdict = document.getElementById('verdict').value;
  for (const cell of document.querySelectorAll('th[data-program], td[data-program]')) {
    cell.hidden = program !== '' && cell.dataset.program !== program;
  }
  for (const line of document.querySelectorAll('tr.submission')) {
    const rows = document.getElementById(line.dataset.rows);
    const cells = [...rows.querySelectorAll('.cell')].filter(
        (c) => program === '' || c.dataset.program === program);
    line.hidden = verdict !== '' && !cells.some((c) => c.dataset.verdict === verdict);
    if (line.hidden) rows.hidden = true;
  }
}
// A link to a row (page.html#row-12) opens with its report shown.
const linked = location.hash && document.getElementById(location.hash.slice(1));
if (linked && linked.classList.contains('cell')) show(linked);
document.getElementById('program').addEventListener('change', filter);
document.getElementById('verdict').addEventListener('change', filter);
)";

// The verdict that colours a program's cell: passed where every row passed, else the
// first failing row's, which for a program that is missing or does not build is all.
const RowResult* Worst(const std::vector<const RowResult*>& rows) {
  for (const RowResult* row : rows) {
    if (!row->verdict.Passed()) return row;
  }
  return rows.front();
}

}  // namespace

void WriteHtml(std::ostream& out, const std::vector<RowResult>& outcomes) {
  std::vector<std::string> programs;
  std::map<std::string, long long> most;  // a program's points, the most any student has
  std::vector<std::string> verdicts;
  std::size_t rows_each = 0;
  for (const auto& group : Grouped(outcomes)) {
    const std::string& program = group.front()->program;
    if (std::find(programs.begin(), programs.end(), program) == programs.end())
      programs.push_back(program);
    long long max = 0;
    for (const RowResult* outcome : group) max += outcome->worth;
    most[program] = std::max(most[program], max);
  }
  for (const RowResult& outcome : outcomes) {
    if (std::find(verdicts.begin(), verdicts.end(), outcome.verdict.Name()) ==
        verdicts.end())
      verdicts.push_back(outcome.verdict.Name());
  }
  std::vector<Summary> summaries = Summaries(outcomes);
  if (!summaries.empty()) rows_each = outcomes.size() / summaries.size();
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width\">\n"
         "<title>suitecheck: the class</title>\n<style>"
      << kPageStyle;
  std::size_t count = 0;
  for (const WordInfo* word = Words(&count); count > 0; ++word, --count)
    out << "." << word->name << " { background: " << word->colour << "; }\n";
  out << "</style></head><body>\n<h1>The class: " << summaries.size() << " submission"
      << (summaries.size() == 1 ? "" : "s") << ", " << programs.size() << " program"
      << (programs.size() == 1 ? "" : "s") << ", " << rows_each
      << " rows each</h1>\n<p><label>program <select id=\"program\"><option "
         "value=\"\">all</option>";
  for (const std::string& program : programs)
    out << "<option>" << Html(program) << "</option>";
  out << "</select></label><label>verdict <select id=\"verdict\"><option value=\"\">any"
         "</option>";
  for (const std::string& verdict : verdicts)
    out << "<option>" << Html(verdict) << "</option>";
  out << "</select></label> A program's cell, its points of its most, opens its rows "
         "and what its build said; a row's, its report.</p>\n"
         "<table>\n<thead><tr><th class=\"name\">submission</th><th>points</th>"
         "<th>max</th>";
  for (const std::string& program : programs) {
    out << "<th class=\"program\" data-program=\"" << Html(program) << "\">"
        << Html(program) << " " << Points(most[program]) << "</th>";
  }
  out << "</tr></thead>\n<tbody>\n";
  std::vector<std::string> reports;
  std::vector<std::vector<const RowResult*>> groups = Grouped(outcomes);
  std::size_t at = 0;  // the next group
  for (std::size_t line = 0; line < summaries.size(); ++line) {
    const Summary& summary = summaries[line];
    std::map<std::string, std::vector<const RowResult*>> mine;
    for (; at < groups.size() && groups[at].front()->submission == summary.submission;
         ++at)
      mine[groups[at].front()->program] = groups[at];
    std::string name = summary.submission.empty() ? "(this folder)" : summary.submission;
    std::string id = "s" + std::to_string(line);
    out << "<tr class=\"submission\" data-rows=\"" << id << "\"><td class=\"name\">"
        << Html(name) << "</td><td>" << Points(summary.points) << "</td><td>"
        << Points(summary.max) << "</td>";
    std::string blocks;
    for (const std::string& program : programs) {
      auto group = mine.find(program);
      if (group == mine.end()) {
        out << "<td data-program=\"" << Html(program) << "\"></td>";
        continue;
      }
      long long points = 0, max = 0;
      for (const RowResult* outcome : group->second) {
        points += outcome->verdict.Passed() ? outcome->worth : 0;
        max += outcome->worth;
      }
      const Verdict& worst = Worst(group->second)->verdict;
      const std::string& built = group->second.front()->built;
      bool warned = built.find(" warning") != built.npos;  // as the build's note says
      std::string cell = id + "-" + program;
      out << "<td class=\"program " << Html(worst.Name()) << "\" id=\"" << Html(cell)
          << "\" tabindex=\"0\" aria-expanded=\"false\" title=\""
          << Html(program + ": " + About(worst.word).meaning) << "\" data-program=\""
          << Html(program) << "\" data-rows=\"" << Html(cell) << "-rows\">"
          << Points(points) << "/" << Points(max)
          << (warned ? " <b title=\"its build warned\">!</b>" : "") << "</td>";
      blocks += "<div data-program=\"" + Html(program) + "\" id=\"" + Html(cell) +
                "-rows\" data-cell=\"" + Html(cell) + "\" hidden><b>" + Html(program) +
                "</b> ";
      for (const RowResult* outcome : group->second) {
        const Verdict& verdict = outcome->verdict;
        std::string report = outcome->report.empty() && !verdict.Passed()
                                 ? outcome->row + ": " + verdict.said + "\n"
                                 : outcome->report.substr(0, kMostReport);
        if (outcome->report.size() > kMostReport)
          report += "\n(the rest as the terminal shows it)\n";
        blocks += "<span class=\"cell " + Html(verdict.Name()) + "\" id=\"row-" +
                  std::to_string(reports.size()) + "\" title=\"" +
                  About(verdict.word).meaning + "\" tabindex=\"0\" data-program=\"" +
                  Html(program) + "\" data-verdict=\"" + Html(verdict.Name()) +
                  "\" data-name=\"" + Html(name + ": " + program + "/" + outcome->row) +
                  "\" data-report=\"" + std::to_string(reports.size()) + "\">" +
                  Html(outcome->row) + (outcome->hidden ? " (hidden)" : "") + "</span>";
        reports.push_back(report);
      }
      // What the build said: the compiler's words where it refused, its warnings.
      if (!built.empty()) blocks += "<pre>" + Html(built) + "</pre>";
      blocks += "</div>";
    }
    out << "</tr>\n<tr class=\"rows\" id=\"" << id << "\" hidden><td colspan=\""
        << programs.size() + 3 << "\">" << blocks << "</td></tr>\n";
  }
  out << "</tbody></table>\n<h2 id=\"which\">No row chosen</h2>\n<pre id=\"report\">"
         "</pre>\n<script type=\"application/json\" id=\"reports\">[";
  for (std::size_t i = 0; i < reports.size(); ++i) {
    out << (i ? ",\n" : "\n") << ScriptJson(reports[i]);
  }
  out << "]</script>\n<script>" << kPageScript << "</script>\n</body></html>\n";
}
