#include "report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kWidth = 100;  // of a line the report shows

std::string WithoutCr(std::string_view text) {
  std::string plain;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (!(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
      plain += text[at];
    }
  }
  return plain;
}

// `text` changed by `change` byte for byte, where it gives a byte, and without those
// bytes where it gives -1.
template <typename Change>
std::string Folded(std::string_view text, Change change) {
  std::string folded;
  for (char byte : text) {
    auto c = static_cast<unsigned char>(byte);
    if (int made = change(c); made >= 0) folded += static_cast<char>(made);
  }
  return folded;
}

std::string WithoutTrailingBlanks(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if (c == '\n') {
      while (!kept.empty() && (kept.back() == ' ' || kept.back() == '\t'))
        kept.pop_back();
    }
    kept += c;
  }
  while (!kept.empty() && (kept.back() == ' ' || kept.back() == '\t')) kept.pop_back();
  return kept;
}

bool Digit(std::string_view text, std::size_t at) {
  return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

// Each number (a sign, digits, a fraction, an exponent) written as 0, so that two texts
// alike but for their numbers' digits compare equal; a point with no digit after it is
// no part of a number.
std::string WithoutNumbers(std::string_view text) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    if (!Digit(text, at) && !(text[at] == '.' && Digit(text, at + 1))) {
      kept += text[at++];
      continue;
    }
    if (!kept.empty() && kept.back() == '-') kept.pop_back();
    while (Digit(text, at)) ++at;
    if (at < text.size() && text[at] == '.' && Digit(text, at + 1)) {
      for (++at; Digit(text, at);) ++at;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
      std::size_t sign =
          at + 1 < text.size() && (text[at + 1] == '-' || text[at + 1] == '+');
      if (Digit(text, at + 1 + sign)) {
        for (at += 1 + sign; Digit(text, at);) ++at;
      }
    }
    kept += '0';
  }
  return kept;
}

// The one byte `longer` has more than `shorter`, where that is all that parts them; -1
// where it is not.
int OneMore(const std::string& longer, const std::string& shorter) {
  if (longer.size() != shorter.size() + 1) return -1;
  std::size_t at = 0;
  while (at < shorter.size() && longer[at] == shorter[at]) ++at;
  if (longer.compare(at + 1, std::string::npos, shorter, at) != 0) return -1;
  return static_cast<unsigned char>(longer[at]);
}

// How `written` differs from `expected`, where one kind of slip explains it all: a word
// for a machine and the words for a person.
std::pair<std::string, std::string> KindOfDifference(const std::string& expected,
                                                     const std::string& written) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  auto unspaced = [](unsigned char c) { return c == ' ' || c == '\t' ? -1 : c; };
  if (expected == written + "\n") {
    return {"final-line-break", "only the last line break is missing"};
  }
  if (expected.starts_with(written)) {
    return {"cut-short", "its output stops short of what is expected"};
  }
  if (written.starts_with(expected)) {
    return {"extra-output", "it wrote more after all that is expected"};
  }
  if (WithoutCr(written) == WithoutCr(expected)) {
    return {"line-ends", "only its line ends differ: \\r\\n where \\n is expected"};
  }
  if (WithoutTrailingBlanks(written) == WithoutTrailingBlanks(expected)) {
    return {"trailing-blanks", "only blanks at the ends of lines differ"};
  }
  if (Folded(written, lower) == Folded(expected, lower)) {
    return {"letter-case", "only the case of letters differs"};
  }
  if (Folded(written, unspaced) == Folded(expected, unspaced)) {
    return {"spacing", "only the spacing differs"};
  }
  if (int more = OneMore(written, expected); more >= 0) {
    return {"extra-output", "it wrote one byte more than expected: " +
                                Visible(std::string(1, static_cast<char>(more)))};
  }
  if (int less = OneMore(expected, written); less >= 0) {
    return {"cut-short", "one byte of what is expected is missing: " +
                             Visible(std::string(1, static_cast<char>(less)))};
  }
  if (WithoutNumbers(written) == WithoutNumbers(expected)) {
    return {"number", "only the digits of a number differ"};
  }
  return {"other", ""};
}

// A line cut to what a screen shows, from a little before `from` on.
std::string Around(const std::string& line, std::size_t from) {
  std::size_t start = from > 60 ? from - 40 : 0;
  if (start >= line.size()) start = 0;
  std::string cut = (start > 0 ? "... " : "") + line.substr(start, kWidth);
  return line.size() > start + kWidth ? cut + "..." : cut;
}

// `lines`, at most `most` of them, each cut to the screen behind `indent`, from a
// little before `from` on.
std::string Indented(const std::vector<std::string>& lines, std::size_t most,
                     std::string_view indent, std::size_t from = 0) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < most; ++i) {
    std::size_t mark = std::min<std::size_t>(2, lines[i].size());  // kept whole
    text.append(indent)
        .append(lines[i], 0, mark)
        .append(Around(lines[i].substr(mark), from));
    text.append("\n");
  }
  if (lines.size() > most) {
    text.append(indent).append("... ").append(std::to_string(lines.size() - most));
    text.append(" more lines\n");
  }
  return text;
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
    const std::string& a = want[same];
    const std::string& b = got[same];
    while (column < a.size() && column < b.size() && a[column] == b[column]) ++column;
  }
  auto cut = [&](const std::vector<std::string>& lines, std::string_view mark) {
    std::vector<std::string> shown;
    for (std::size_t i = same; i < lines.size() - tail; ++i) {
      shown.push_back(std::string(mark) + lines[i]);
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
  // Each side in turn, the expected first, a side with no line here said so.
  text += want.size() == same + tail ? "    - (nothing more)\n"
                                     : Indented(cut(want, "- "), 6, "    ", column);
  text += got.size() == same + tail ? "    + (nothing more)\n"
                                    : Indented(cut(got, "+ "), 6, "    ", column);
  return text + "  first difference at byte " + std::to_string(byte) + "\n";
}

// One line on what the escapes in `shown` mean, where it has any.
std::string Legend(const std::string& shown) {
  const std::pair<const char*, const char*> kEscapes[] = {
      {"\\s\n", "\\s a blank at the end of a line"},
      {"\\t", "\\t a tab"},
      {"\\r", "\\r a carriage return"},
      {"\\x", "\\xNN the byte NN"},
      {"\\\n", "\\ at the end: no line break"},
  };
  std::string said;
  for (const auto& [escape, meaning] : kEscapes) {
    if (shown.find(escape) != shown.npos)
      said += std::string(said.empty() ? "" : ", ") + meaning;
  }
  return said.empty() ? "" : "  (" + said + ")\n";
}

std::string InSeconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, seconds < 0.1 ? "%.2f" : "%.3g", seconds);
  return text;
}

}  // namespace

bool WritesCrlf(std::string_view output) {
  return output.find("\r\n") != output.npos;
}

namespace {

// The verdicts' one table: its order is the enumeration's.
constexpr WordInfo kWords[] = {
    {Word::kPassed, "passed", '.',
     "wrote exactly the row's output and ended with status 0", "#d9f2d9", true, false},
    {Word::kWrongOutput, "wrong-output", 'F', "wrote something else", "#fde2c8", true,
     false},
    {Word::kExitStatus, "exit-status", 'F', "ended with another status", "#fde2c8", true,
     false},
    {Word::kCrashed, "crashed", 'F', "was ended by a signal or an exception", "#f8c6c6",
     true, false},
    {Word::kTimedOut, "timed-out", 'T', "used its processor time, or had not ended",
     "#f8c6c6", true, false},
    {Word::kMemoryLimit, "memory-limit", 'F', "used more than its memory", "#f8c6c6",
     true, false},
    {Word::kProcessLimit, "process-limit", 'F', "started more than 64 processes at once",
     "#f8c6c6", true, false},
    {Word::kOutputLimit, "output-limit", 'F', "wrote more than 1 MiB", "#f8c6c6", true,
     false},
    {Word::kPromptLate, "prompt-late", 'P',
     "waited for an answer at a terminal before writing what comes before it", "#f6e7a8",
     true, false},
    {Word::kCompileError, "compile-error", 'F', "its sources do not compile", "#fde2c8",
     false, false},
    {Word::kMissing, "missing", 'F', "is not in the folder", "#e4e4e4", false, true},
    {Word::kCannotStart, "cannot-start", 'F', "is there, but could not be started",
     "#e4e4e4", false, false},
};

}  // namespace

const WordInfo& About(Word word) {
  return kWords[static_cast<std::size_t>(word)];
}

const WordInfo* Words(std::size_t* count) {
  *count = sizeof kWords / sizeof kWords[0];
  return kWords;
}

Verdict VerdictOf(const Transcript& row, const ProgramRun& run, const Bounds& bounds,
                  bool crlf) {
  switch (run.ending) {
    case Ending::kCannotStart:
      if (run.dll_missing) {
        return {Word::kCannotStart, "library missing",
                "could not be started: " + run.why +
                    "; link it statically (g++ -static) or put the DLLs beside it"};
      }
      return {Word::kCannotStart, run.why, "could not be started: " + run.why};
    case Ending::kCrashed:
      return {Word::kCrashed, run.why, "crashed: " + run.why};
    case Ending::kTimedOut:
      if (run.busy) {
        return {Word::kTimedOut, "looping",
                "used " + InSeconds(bounds.seconds) +
                    " s of processor time and had not ended: a loop that does not end"};
      }
      if (run.processor < 0) {  // not measured here: nothing said of it
        return {Word::kTimedOut, "",
                "had not ended after " + InSeconds(WaitBound(bounds)) + " s"};
      }
      return {Word::kTimedOut, "waiting",
              "had not ended after " + InSeconds(WaitBound(bounds)) + " s, using " +
                  InSeconds(run.processor) +
                  " s of processor: it was waiting, not computing (its input had ended "
                  "long before)"};
    case Ending::kOutOfMemory:
      return {Word::kMemoryLimit, "",
              "used more than " + std::to_string(bounds.memory >> 20) +
                  " MB of memory, the bound: ended there"};
    case Ending::kTooMany:
      return {Word::kProcessLimit, "",
              "started more than " + std::to_string(bounds.processes) +
                  " processes at once, the bound: ended there"};
    case Ending::kTooMuch:
      return {Word::kOutputLimit, run.why,
              "wrote more than 1 MiB to its " + run.why +
                  ", far past any row's: ended there"};
    case Ending::kExited:
      break;
  }
  if (run.status != 0) {
    return {Word::kExitStatus, std::to_string(run.status),
            "ended with status " + std::to_string(run.status) + ", not 0"};
  }
  std::string written = crlf ? WithoutCr(run.output) : run.output;
  std::string expected = crlf ? WithoutCr(row.output) : row.output;
  if (written != expected) {
    auto [kind, words] = KindOfDifference(expected, written);
    return {Word::kWrongOutput, kind,
            "wrote other output" + (words.empty() ? "" : ": " + words)};
  }
  return {Word::kPassed, "", ""};
}

namespace {

// The last line of `text`, its line break aside, shown as the notation shows bytes and
// cut to its end where long.
std::string LastLineOf(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  std::size_t start = text.rfind('\n');
  std::string line = Visible(text.substr(start == text.npos ? 0 : start + 1));
  return line.size() > 60 ? "..." + line.substr(line.size() - 57) : line;
}

// What had appeared at the terminal of a typed run since the answer before the one it
// waited for.
std::string Appeared(const ProgramRun& typed) {
  return typed.output.substr(std::min(typed.since, typed.output.size()));
}

// A typed row's dialogue as far as answer `answer`, in the notation, and what had
// appeared at the terminal since the answer before it.
std::string Typed(const Transcript& row, const ProgramRun& typed, std::size_t answer) {
  std::vector<std::string> lines;
  std::vector<std::string_view> answers = AnswersOf(row.input);
  for (std::size_t i = 0; i <= answer && i < answers.size(); ++i) {
    for (std::string& line : Shown(OutputBefore(row, i), '>')) lines.push_back(line);
    for (std::string& line : Shown(answers[i], '<')) lines.push_back(line);
  }
  std::string said =
      "  at a terminal, each answer typed once what comes before it appears:\n";
  said += Indented(
      std::vector<std::string>(
          lines.end() - std::min<std::ptrdiff_t>(12, std::ssize(lines)), lines.end()),
      12, "    ");
  std::string appeared = Appeared(typed);
  said += answer == 0
              ? "  it waited for that answer, having written:\n"
              : "  it waited for that answer, having written since the one before:\n";
  return said + (appeared.empty() ? "    (nothing)\n"
                                  : Indented(Shown(appeared, '>'), 6, "    "));
}

// The first lines of what `run` wrote to its standard error, where it wrote any.
std::string Stderr(const ProgramRun& run) {
  if (run.error.empty()) return "";
  return "  its standard error, first lines:\n" +
         Indented(Shown(run.error, '!'), 4, "    ");
}

}  // namespace

Verdict PromptLate(const Transcript& row, const ProgramRun& typed) {
  std::size_t answer = typed.unasked;
  std::string appeared = Appeared(typed);
  std::string which =
      answer == 0 ? "its first answer" : "answer " + std::to_string(answer + 1);
  return {Word::kPromptLate, "answer " + std::to_string(answer + 1),
          "at a terminal, waited for " + which + " before writing \"" +
              LastLineOf(OutputBefore(row, answer)) + "\"; " +
              (appeared.empty() ? std::string("nothing had appeared")
                                : "the last it wrote: \"" + LastLineOf(appeared) + "\"") +
              (answer > 0 ? " since answer " + std::to_string(answer) : "")};
}

std::string Report(const Transcript& row, const ProgramRun& run, const Verdict& verdict,
                   std::string_view rerun) {
  std::string text = row.program + "/" + row.name + ": " + verdict.said + "\n";
  if (verdict.word == Word::kPromptLate) {  // its input is in the dialogue shown
    text += Typed(row, run, run.unasked) + Stderr(run);
    return text + "  rerun: " + std::string(rerun) + "\n";
  }
  text += "  input:\n";
  text += row.input.empty() ? "    (none)\n" : Indented(Shown(row.input, '<'), 6, "    ");
  bool ran = About(verdict.word).ran;
  // Line ends set aside, so that the real difference is what is shown.
  std::string written = run.output;
  if (WritesCrlf(written) && WithoutCr(written) != WithoutCr(row.output)) {
    written = WithoutCr(written);
    text += "  (its \\r line ends set aside)\n";
  }
  if (ran && written != row.output) {
    std::string difference = Difference(row.output, written);
    text += difference + Legend(difference);
  }
  return text + Stderr(run) + "  rerun: " + std::string(rerun) + "\n";
}

std::string CrlfNote(const std::string& program, bool accepted) {
  if (accepted) {
    return program + " ends its lines in \\r\\n; --crlf takes that as a line break\n";
  }
  return program +
         " ends its lines in \\r\\n (a carriage return before each line break), as a "
         "Windows\n  program does when it writes in text mode; the rows expect \\n "
         "alone. "
         "The rows\n  are compared with that set aside to show the real difference; "
         "--crlf accepts\n  \\r\\n. To write \\n alone from C or C++ on Windows, "
         "before the first output:\n"
         "    #include <fcntl.h>\n    #include <io.h>\n"
         "    _setmode(_fileno(stdout), _O_BINARY);\n";
}
