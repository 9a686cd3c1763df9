#include "transcript.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "runner.h"

namespace {

[[noreturn]] void NotOfTheForm(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

// A byte written as \xHH.
std::string Hex(unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  return {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes one `<` or `>` line stands for, its line break included where it has one.
// Every byte that is not seen must be written as its escape.
std::string Unshown(std::string_view line, const std::string& where) {
  if (line.size() > 1 && line[1] != ' ')
    NotOfTheForm(where, "a blank must follow the mark");
  line.remove_prefix(std::min<std::size_t>(line.size(), 2));
  std::string bytes;
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (static_cast<unsigned char>(line[at]) < 0x20 || line[at] == 0x7f) {
      NotOfTheForm(where, "a byte not seen, " + Visible(line.substr(at, 1)) +
                              ", stands in the line: write it as its escape");
    }
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

// Text read from a file, as a path in UTF-8 names it on every system.
std::ifstream Opened(const std::string& path) {
  return std::ifstream(PathOf(path), std::ios::binary);
}

// The next line of `file`, without the carriage return that a Windows editor ends
// it with.
bool NextLine(std::ifstream& file, std::string& line) {
  if (!std::getline(file, line)) return false;
  if (line.ends_with('\r')) line.pop_back();
  return true;
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

}  // namespace

std::vector<std::string> AllPrograms() {
  std::vector<std::string> programs;
  std::istringstream list(SUITE_PROGRAMS);
  for (std::string name; std::getline(list, name, ',');) programs.push_back(name);
  return programs;
}

std::string TextOf(const std::filesystem::path& path) {
  std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_';
  });
}

std::string FileOf(const std::string& folder, const std::string& program) {
  return InFolder(folder, program + ".txt");
}

std::vector<Transcript> TranscriptsOf(const std::string& folder,
                                      const std::string& program) {
  std::string path = FileOf(folder, program);
  std::ifstream file = Opened(path);
  if (!file) throw std::runtime_error(Visible(path) + ": cannot be read");
  std::vector<Transcript> rows;
  std::string line;
  char last = 0;  // the mark of the row's line before
  for (int number = 1; NextLine(file, line); ++number) {
    std::string where = Visible(path) + ":" + std::to_string(number);
    if (number == 1 && line.starts_with("\xef\xbb\xbf"))
      line.erase(0, 3);  // an editor's mark
    if (line.empty() || line[0] == '#') continue;
    if (line.starts_with("== ")) {
      std::string name = line.substr(3, line.find(' ', 3) - 3);
      if (!IsName(name)) NotOfTheForm(where, "a row's name is letters, digits and _");
      for (const Transcript& row : rows) {
        if (row.name == name) NotOfTheForm(where, "a second row named " + name);
      }
      rows.push_back({.program = program, .name = name, .where = where});
      last = 0;
    } else if ((line[0] == '<' || line[0] == '>') && !rows.empty()) {
      // A line of the one stream goes on from its last, which ends without a break
      // only where a line of the other stands between: an answer typed after a prompt.
      Transcript& row = rows.back();
      std::string& bytes = line[0] == '<' ? row.input : row.output;
      if (!bytes.empty() && bytes.back() != '\n' && last == line[0]) {
        NotOfTheForm(where, "a line follows one that ends without a line break");
      }
      if (line[0] == '<') row.asked.push_back(row.output.size());
      bytes += Unshown(line, where);
      last = line[0];
    } else {
      NotOfTheForm(where, "not a row's line: " + Visible(line.substr(0, 40)));
    }
  }
  return rows;
}

Transcript PageExample(const std::string& folder, const std::string& program) {
  std::string path = InFolder(folder, program + ".1");
  Transcript row{.program = program, .name = "page", .where = Visible(path)};
  std::ifstream in = Opened(path);
  std::string line;
  while (NextLine(in, line) && line != ".Sh EXAMPLES") {
  }
  while (NextLine(in, line) && !line.starts_with(".Bd -literal")) {
  }
  std::string command;
  if (!NextLine(in, command) || Unescaped(command) != "$ " + program) {
    throw std::runtime_error(Visible(path) + ": no example run of " + program);
  }
  while (NextLine(in, line) && line != ".Ed") {
    if (line.starts_with(".Sy ")) {  // an answer typed, then Enter
      row.asked.push_back(row.output.size());
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
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    std::size_t end = bytes.find('\n');
    bool broken = end != bytes.npos;
    std::string_view piece = bytes.substr(0, broken ? end : bytes.size());
    bytes.remove_prefix(broken ? end + 1 : bytes.size());
    std::string line(1, mark);
    if (!piece.empty()) line += ' ';
    for (char byte : piece) {
      auto c = static_cast<unsigned char>(byte);
      if (c == '\\') {
        line += "\\\\";
      } else if (c == '\t') {
        line += "\\t";
      } else if (c == '\r') {
        line += "\\r";
      } else if (c < 0x20 || c >= 0x7f) {
        line += Hex(c);
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

std::vector<std::string_view> AnswersOf(std::string_view input) {
  std::vector<std::string_view> answers;
  while (!input.empty()) {
    std::size_t end = std::min(input.find('\n'), input.size() - 1) + 1;
    answers.push_back(input.substr(0, end));
    input.remove_prefix(end);
  }
  return answers;
}

std::string_view OutputBefore(const Transcript& row, std::size_t answer) {
  auto at = [&](std::size_t line) {
    return std::min(line < row.asked.size() ? row.asked[line] : 0, row.output.size());
  };
  std::size_t from = answer > 0 ? at(answer - 1) : 0;
  std::size_t to = at(answer);
  return to > from ? std::string_view(row.output).substr(from, to - from)
                   : std::string_view();
}

std::string RowText(const Transcript& row) {
  // Each input line where it is typed: after the output written before it.
  std::string text = "== " + row.name + "\n";
  std::vector<std::string_view> answers = AnswersOf(row.input);
  std::size_t written = 0;
  for (std::size_t answer = 0; answer < answers.size(); ++answer) {
    std::string_view before = OutputBefore(row, answer);
    for (const std::string& shown : Shown(before, '>')) text += shown + "\n";
    for (const std::string& shown : Shown(answers[answer], '<')) text += shown + "\n";
    written += before.size();
  }
  for (const std::string& shown :
       Shown(std::string_view(row.output).substr(written), '>'))
    text += shown + "\n";
  return text;
}

std::size_t Utf8Length(std::string_view text, std::size_t at, char32_t* point) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xc2 && lead < 0xe0 ? 2
                       : lead >= 0xe0 && lead < 0xf0 ? 3
                       : lead >= 0xf0 && lead < 0xf5 ? 4
                                                     : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t value = length == 1 ? lead : lead & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
    value = (value << 6) | (byte(at + i) & 0x3f);
  }
  bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
  if (overlong || (value >= 0xd800 && value < 0xe000) || value > 0x10ffff) return 0;
  if (point) *point = value;
  return length;
}

std::string Visible(std::string_view text) {
  std::string shown;
  for (std::size_t at = 0; at < text.size();) {
    auto c = static_cast<unsigned char>(text[at]);
    std::size_t length = Utf8Length(text, at, nullptr);
    if (length == 0 || c < 0x20 || c == 0x7f) {
      shown += Hex(c);  // a control byte, or a byte that is no UTF-8
      ++at;
    } else {
      shown.append(text.substr(at, length));
      at += length;
    }
  }
  return shown;
}

std::string WithRow(std::string text, const Transcript& row) {
  std::string made = RowText(row);
  // Its header: "== NAME" alone, or with a reason after a blank.
  std::size_t at = text.npos;
  for (std::size_t line = 0; line < text.size(); line = text.find('\n', line) + 1) {
    std::string_view rest = std::string_view(text).substr(line);
    std::string header = "== " + row.name;
    if (rest.starts_with(header) &&
        (rest.size() == header.size() || rest[header.size()] == '\n' ||
         rest[header.size()] == ' ')) {
      at = line;
      break;
    }
    if (text.find('\n', line) == text.npos) break;
  }
  if (at == text.npos)
    return text + (text.empty() || text.ends_with("\n\n") ? "" : "\n") + made;
  std::size_t header_end = text.find('\n', at);
  if (header_end == text.npos) return text + "\n" + made.substr(made.find('\n') + 1);
  std::size_t end = header_end;
  for (std::size_t line = header_end; line != text.npos && line + 1 < text.size();
       line = text.find('\n', line + 1)) {
    if (text.compare(line + 1, 3, "== ") == 0) break;
    if (text[line + 1] == '<' || text[line + 1] == '>') end = text.find('\n', line + 1);
  }
  if (end == text.npos) end = text.size();
  return text.replace(header_end + 1, end - header_end, made.substr(made.find('\n') + 1));
}
