// The rows written out for other graders, and a row added to a program's transcripts
// from the program built beside the checker.
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

constexpr std::size_t kMostInput = std::size_t{1} << 20;  // of a row recorded

}  // namespace

int Export(const Options& options, const Sources& sources) {
  std::vector<Transcript> rows;
  for (const std::string& program : ProgramsNamed(options.names)) {
    try {
      for (Transcript& row : RowsOf(sources, program)) rows.push_back(std::move(row));
    } catch (const std::runtime_error& why) {
      std::fprintf(stderr, "suitecheck: %s\n", why.what());
      return 1;
    }
  }
  // An earlier export is replaced whole, so that no row of it is left stale; a folder
  // holding anything else is no place for one.
  std::filesystem::path folder = PathOf(options.target);
  std::error_code error;
  std::vector<std::filesystem::path> earlier;
  bool exported = false;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string name = TextOf(entry.path().filename());
    if (name == "README.md") {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string first;
      std::getline(in, first);
      exported = first == "# The rows of the console suite, for other graders";
    } else if (!entry.is_directory(error) || !IsProgram(name)) {
      Refuse(options.target + " holds " + name +
             ", no part of an export: export into an empty or new folder");
    }
    earlier.push_back(entry.path());
  }
  if (!earlier.empty() && !exported) {
    Refuse(options.target + " holds folders but no export's README: export elsewhere");
  }
  for (const auto& path : earlier) std::filesystem::remove_all(path, error);
  Export(options.target, rows);
  return 0;
}

// Runs the program built beside the checker on the input given, shows the row and adds
// it to the program's file; a row of that name is rewritten only with --replace. The
// file is held while it is read and rewritten, and replaced whole, so that two records
// at once both land.
int Record(const Options& options, const Sources& sources) {
  const std::string& name = options.target;
  std::size_t slash = name.find('/');
  std::string program = name.substr(0, slash);
  std::string row_name = slash == name.npos ? "" : name.substr(slash + 1);
  if (!IsProgram(program) || !IsName(row_name)) {
    Refuse("not PROGRAM/ROW, a row's name letters, digits and _: " + name);
  }
  if (row_name == "page")
    Refuse("page is the row of the page's example: name it otherwise");
  std::string input;
  char chunk[1 << 16];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) {
    input.append(chunk, got);
    if (input.size() > kMostInput)
      Refuse("the input is over 1 MiB, far past any row's: no row made");
  }
  Transcript row{.program = program, .name = row_name, .input = input};
  std::string path_of_program = InFolder(OwnFolder(), ProgramFile(program));
  ProgramRun run = RunOnce({path_of_program}, input, {.memory = std::size_t{512} << 20});
  if (run.ending != Ending::kExited || run.status != 0) {
    Refuse(program + " did not end by itself with status 0: no row made");
  }
  row.output = run.output;
  // Each answer where the program reads it, where this system can tell.
  row.asked = AskedAt(path_of_program, AnswersOf(input));
  if (!row.asked.empty() && row.asked.back() > row.output.size()) row.asked.clear();
  long long held = Lock(sources.transcripts);
  if (held == -1) Refuse(sources.transcripts + ": cannot be held for writing");
  // Through a link, to the file it names: the link stays.
  std::string path = FileOf(sources.transcripts, program);
  std::error_code linked;
  if (std::filesystem::is_symlink(PathOf(path), linked)) {
    path = TextOf(std::filesystem::canonical(PathOf(path), linked));
  }
  std::vector<Transcript> rows = TranscriptsOf(sources.transcripts, program);  // its form
  bool exists = std::any_of(rows.begin(), rows.end(),
                            [&](const Transcript& old) { return old.name == row_name; });
  if (exists && !options.replace) {
    Refuse(name + " is a row already; --replace rewrites it");
  }
  std::ifstream in(PathOf(path), std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  std::string made = RowText(row);
  text = WithRow(text, row);
  std::string temporary = WriteNew(path, text);
  std::error_code error;
  if (temporary.empty() ||
      (std::filesystem::rename(PathOf(temporary), PathOf(path), error), error)) {
    if (!temporary.empty()) std::filesystem::remove(PathOf(temporary), error);
    Refuse(path + ": cannot be written");
  }
  Unlock(held);
  std::fputs(made.c_str(), stdout);
  std::printf("%s %s; git diff shows it\n", exists ? "rewritten in" : "added to",
              Visible(path).c_str());
  return 0;
}
