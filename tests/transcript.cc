#include "transcript.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

[[noreturn]] void NotOfTheForm(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes one `<` or `>` line stands for, its line break included where it has one.
std::string Unshown(std::string_view line, const std::string& where) {
  if (line.size() > 1 && line[1] != ' ')
    NotOfTheForm(where, "a blank must follow the mark");
  line.remove_prefix(std::min<std::size_t>(line.size(), 2));
  std::string bytes;
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] != '\\') {
      bytes += line[at];
      continue;
    }
    if (++at == line.size()) return bytes;  // a lone \ at the end: no line break
    switch (line[at]) {
      case 't':
        bytes += '\t';
        break;
      case 's':
        bytes += ' ';
        break;
      case 'r':
        bytes += '\r';
        break;
      case '\\':
        bytes += '\\';
        break;
      case 'x': {
        int high = at + 2 < line.size() ? HexDigit(line[at + 1]) : -1;
        int low = at + 2 < line.size() ? HexDigit(line[at + 2]) : -1;
        if (high < 0 || low < 0) NotOfTheForm(where, "\\x takes two hexadecimal digits");
        bytes += static_cast<char>(high * 16 + low);
        at += 2;
        break;
      }
      default:
        NotOfTheForm(where, std::string("no such escape: \\") + line[at]);
    }
  }
  return bytes + '\n';
}

bool IsName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_';
  });
}

// The page's display text as its reader sees it: \e is a backslash, \& nothing.
std::string Unescaped(const std::string& line) {
  std::string text;
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] != '\\') {
      text += line[at];
    } else if (line.compare(at, 2, "\\e") == 0) {
      text += '\\';
      ++at;
    } else if (line.compare(at, 2, "\\&") == 0) {
      ++at;
    } else {
      text += "<unknown escape>";  // fails the row, so the reader is taught it
    }
  }
  return text;
}

// `lines`, at most `most` of them, each behind `indent`.
std::string Indented(const std::vector<std::string>& lines, std::size_t most,
                     std::string_view indent) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < most; ++i) {
    text.append(indent).append(lines[i]).append("\n");
  }
  if (lines.size() > most) {
    text.append(indent).append("... ").append(std::to_string(lines.size() - most));
    text.append(" more lines\n");
  }
  return text;
}

// A line cut to what a screen shows, from a little before `from` on.
std::string Around(const std::string& line, std::size_t from) {
  constexpr std::size_t kWidth = 100;
  std::size_t start = from > 60 ? from - 40 : 0;
  std::string cut = (start > 0 ? "... " : "") + line.substr(start, kWidth);
  return line.size() > start + kWidth ? cut + "..." : cut;
}

// The lines where `written` parts from `expected`: one line before them, then those of
// each, marked - and +, then where the bytes first differ.
std::string Difference(const std::string& expected, const std::string& written) {
  std::vector<std::string> want = Shown(expected, '>');
  std::vector<std::string> got = Shown(written, '>');
  std::size_t same = 0;
  while (same < want.size() && same < got.size() && want[same] == got[same]) ++same;
  std::size_t tail = 0;
  while (tail < want.size() - same && tail < got.size() - same &&
         want[want.size() - 1 - tail] == got[got.size() - 1 - tail]) {
    ++tail;
  }
  std::size_t column = 0;
  if (same < want.size() && same < got.size()) {
    while (want[same][column] == got[same][column]) ++column;
  }
  auto cut = [&](const std::vector<std::string>& lines, std::string_view mark) {
    std::vector<std::string> shown;
    for (std::size_t i = same; i < lines.size() - tail; ++i) {
      shown.push_back(std::string(mark) + Around(lines[i], column));
    }
    return shown;
  };
  std::size_t byte = 0;
  while (byte < expected.size() && byte < written.size() &&
         expected[byte] == written[byte]) {
    ++byte;
  }
  std::string text = "  expected (-) and written (+), from output line " +
                     std::to_string(same + 1) + ":\n";
  if (same > 0) text += "      " + Around(want[same - 1], column) + "\n";
  text += Indented(cut(want, "- "), 6, "    ");
  text += Indented(cut(got, "+ "), 6, "    ");
  if (want.size() == same + tail) text += "    - (nothing more)\n";
  if (got.size() == same + tail) text += "    + (nothing more)\n";
  return text + "  first difference at byte " + std::to_string(byte) + "\n";
}

}  // namespace

std::vector<Transcript> TranscriptsOf(const std::string& program) {
  std::string path = std::string(TRANSCRIPT_DIR) + "/" + program + ".txt";
  std::ifstream file(path);
  if (!file) throw std::runtime_error(path + ": cannot be read");
  std::vector<Transcript> rows;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    std::string where = path + ":" + std::to_string(number);
    if (line.empty() || line[0] == '#') continue;
    if (line.starts_with("== ")) {
      std::string name = line.substr(3, line.find(' ', 3) - 3);
      if (!IsName(name)) NotOfTheForm(where, "a row's name is letters, digits and _");
      for (const Transcript& row : rows) {
        if (row.name == name) NotOfTheForm(where, "a second row named " + name);
      }
      rows.push_back({.program = program, .name = name, .where = where});
    } else if ((line[0] == '<' || line[0] == '>') && !rows.empty()) {
      Transcript& row = rows.back();
      std::string& bytes = line[0] == '<' ? row.input : row.output;
      if (line[0] == '<' && !row.output.empty()) {
        NotOfTheForm(where, "the input comes before the output");
      }
      if (!bytes.empty() && bytes.back() != '\n') {
        NotOfTheForm(where, "a line follows one that ends without a line break");
      }
      bytes += Unshown(line, where);
    } else {
      NotOfTheForm(where, "not a row's line: " + line.substr(0, 40));
    }
  }
  return rows;
}

Transcript PageExample(const std::string& program) {
  std::string path = std::string(MAN_DIR) + "/" + program + ".1";
  Transcript row{.program = program, .name = "page", .where = path};
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line) && line != ".Sh EXAMPLES") {
  }
  while (std::getline(in, line) && !line.starts_with(".Bd -literal")) {
  }
  std::string command;
  if (!std::getline(in, command) || Unescaped(command) != "$ " + program) {
    throw std::runtime_error(path + ": no example run of " + program);
  }
  while (std::getline(in, line) && line != ".Ed") {
    if (line.starts_with(".Sy ")) {  // an answer typed, then Enter
      row.input += Unescaped(line.substr(4)) + "\n";
      continue;
    }
    bool joined = line.ends_with("\\c");
    row.output += Unescaped(joined ? line.substr(0, line.size() - 2) : line);
    if (!joined) row.output += '\n';
  }
  return row;
}

std::vector<std::string> Shown(std::string_view bytes, char mark) {
  static const char kHex[] = "0123456789abcdef";
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    bool broken = end != bytes.npos;
    std::string_view piece = bytes.substr(0, broken ? end : bytes.size());
    bytes.remove_prefix(broken ? end + 1 : bytes.size());
    std::string line(1, mark);
    if (!piece.empty()) line += ' ';
    for (unsigned char c : piece) {
      if (c == '\\') {
        line += "\\\\";
      } else if (c == '\t') {
        line += "\\t";
      } else if (c == '\r') {
        line += "\\r";
      } else if (c < 0x20 || c >= 0x7f) {
        line += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
      } else {
        line += static_cast<char>(c);
      }
    }
    if (!broken) {
      line += '\\';
    } else if (line.size() > 2 && line.back() == ' ') {
      line.back() = '\\';
      line += 's';
    }
    lines.push_back(line);
  }
  return lines;
}

std::string RowText(const Transcript& row) {
  std::string text = "== " + row.name + "\n";
  for (const std::string& line : Shown(row.input, '<')) text += line + "\n";
  for (const std::string& line : Shown(row.output, '>')) text += line + "\n";
  return text;
}

std::string Failure(const Transcript& row, const RunResult& run, double seconds,
                    std::string_view rerun) {
  std::string why;
  if (!run.finished) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", seconds);
    why = std::string("did not finish in ") + limit + " s";
  } else if (run.status != 0) {
    why = "ended with status " + std::to_string(run.status) + ", not 0";
  } else if (run.output != row.output) {
    why = "wrote other output";
  } else {
    return "";
  }
  std::string text = row.program + "/" + row.name + ": " + why + "\n  input:\n";
  text += row.input.empty() ? "    (none)\n" : Indented(Shown(row.input, '<'), 6, "    ");
  if (run.output != row.output) text += Difference(row.output, run.output);
  return text + "  rerun: " + std::string(rerun) + "\n";
}
