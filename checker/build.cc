#include "build.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "transcript.h"

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// MinGW's, linked statically so that no DLL of its own is missing where it runs.
constexpr const char* kCxx = "g++";
constexpr const char* kCc = "gcc";
const std::vector<std::string> kLinked = {"-static"};
#else
constexpr const char* kCxx = "c++";
constexpr const char* kCc = "cc";
const std::vector<std::string> kLinked = {};
#endif

const std::vector<std::string> kCxxEndings = {".cpp", ".cc", ".cxx"};
constexpr std::size_t kSaidLines = 12;  // of the compiler's words, kept for the report
constexpr std::uintmax_t kCacheBytes = std::uintmax_t{1} << 30;  // kept built, at most
constexpr std::size_t kMostNamed = 64;  // sources named on the compiler's command line
constexpr std::uintmax_t kKeyBytes = std::uintmax_t{8}
                                     << 20;  // of a submission's files read whole

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool IsSource(const fs::path& path, bool cxx_only) {
  std::string ending = path.extension().string();
  bool cxx =
      std::find(kCxxEndings.begin(), kCxxEndings.end(), ending) != kCxxEndings.end();
  return cxx || (!cxx_only && ending == ".c");
}

// The source files that `from` names, in order: one file, or a folder's sources.
std::vector<fs::path> Files(const fs::path& folder, const std::string& from) {
  fs::path path = folder / PathOf(from);
  std::error_code error;
  if (!fs::is_directory(path, error)) return {path};
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(path, error)) {
    if (entry.is_regular_file(error) && IsSource(entry.path(), false))
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The first lines of `text`, at most `most`.
std::string FirstLines(const std::string& text, std::size_t most) {
  std::size_t at = 0;
  for (std::size_t line = 0; line < most && at != text.npos; ++line) {
    at = text.find('\n', at);
    if (at != text.npos) ++at;
  }
  return at == text.npos ? text : text.substr(0, at);
}

// A name for what is built from exactly these bytes by exactly this compiler, for
// this submission: FNV-1a over them all.
std::string KeyOf(const std::vector<std::string>& parts) {
  unsigned long long hash = 14695981039346656037ull;
  for (const std::string& part : parts) {
    for (char c : part + '\0') {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ull;
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", hash);
  return text;
}

int Count(const std::string& said, const std::string& kind) {
  int count = 0;
  std::istringstream lines(said);
  for (std::string line; std::getline(lines, line);) {
    count += line.find(kind + ": ") != line.npos;
  }
  return count;
}

// Why the sources may not be read for a row, "" where they may: a source that is a
// link leading out of the submission would show the compiler a file that is not the
// student's; one closed to the rows' users cannot be read by its compiler.
std::string Refused(const fs::path& there, const std::string& from,
                    const std::vector<fs::path>& files, const Bounds& bounds) {
  std::error_code error;
  fs::path root = fs::weakly_canonical(there, error);
  std::vector<fs::path> all = files;
  all.push_back(there / PathOf(from));
  for (const fs::path& file : all) {
    fs::path real = fs::weakly_canonical(file, error);
    auto [end, inside] =
        std::mismatch(root.begin(), root.end(), real.begin(), real.end());
    if (error || end != root.end()) {
      return TextOf(file.lexically_relative(there)) +
             " is a link leading out of the submission: not built";
    }
    if (std::string closed = ClosedToRows(TextOf(file), bounds.apart); !closed.empty()) {
      return closed +
             " may be read by you alone, and rows run as users of their own: "
             "chmod -R a+rX makes it readable to them";
    }
  }
  return "";
}

}  // namespace

void TidyCache() {
  fs::path cache = PathOf(CacheFolder());
  std::error_code error;
  auto now = fs::file_time_type::clock::now();
  std::vector<std::pair<fs::file_time_type, fs::path>> entries;
  std::uintmax_t total = 0;
  for (const auto& entry : fs::directory_iterator(cache, error)) {
    fs::path path = entry.path();
    auto time = fs::last_write_time(path / "said", error);
    if (path.extension() == ".part") {
      // A build is bounded to minutes: one older is a stopped checker's.
      if (now - fs::last_write_time(path, error) > std::chrono::minutes(10))
        fs::remove_all(path, error);
      continue;
    }
    if (error) continue;
    for (const auto& file : fs::recursive_directory_iterator(path, error)) {
      if (file.is_regular_file(error)) total += file.file_size(error);
    }
    entries.emplace_back(time, path);
  }
  std::sort(entries.begin(), entries.end());
  for (const auto& [time, path] : entries) {
    if (total <= kCacheBytes) break;
    std::uintmax_t size = 0;
    for (const auto& file : fs::recursive_directory_iterator(path, error)) {
      if (file.is_regular_file(error)) size += file.file_size(error);
    }
    fs::remove_all(path, error);
    total -= std::min(total, size);
  }
}

Compilers CompilersFrom(const std::string& cxx, const std::string& cc) {
  const char* cxx_set = std::getenv("CXX");
  const char* cc_set = std::getenv("CC");
  return {!cxx.empty()          ? cxx
          : cxx_set && *cxx_set ? cxx_set
                                : kCxx,
          !cc.empty()         ? cc
          : cc_set && *cc_set ? cc_set
                              : kCc};
}

std::string SourcesOf(const std::string& folder, const std::string& program) {
  fs::path there = PathOf(folder);
  std::error_code error;
  for (const char* ending : {".cpp", ".cc", ".cxx", ".c", ".py"}) {
    if (fs::is_regular_file(there / PathOf(program + ending), error))
      return program + ending;
  }
  if (fs::is_directory(there / PathOf(program), error)) {
    for (const auto& entry : fs::directory_iterator(there / PathOf(program), error)) {
      if (entry.is_regular_file(error) && IsSource(entry.path(), false))
        return program + "/";
    }
  }
  return "";
}

std::string FirstSaying(const std::string& said, const std::string& kind) {
  std::istringstream lines(said);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(kind + ": ") != line.npos) return line;
  }
  return "";
}

namespace {

// The command that runs a Python script, or "" where no Python 3 is here.
std::vector<std::string> PythonCommand(const fs::path& script) {
#ifdef _WIN32
  std::string python = Found("py");
  std::vector<std::string> words = {python, "-3"};
#else
  std::string python = Found("python3");
  std::vector<std::string> words = {python};
#endif
  if (python.empty()) return {};
  words.push_back(TextOf(script));
  return words;
}

// What names a build in the cache: the compiler's words and identity, the submission,
// its sources, and every other file a compile may read (a header beside the sources):
// its bytes, or past a bound its size and time, so that a fix made in any of them is
// rebuilt.
std::string CacheKey(std::vector<std::string> parts, const std::string& compiler,
                     const fs::path& there, const std::vector<fs::path>& files) {
  parts.push_back(Identity(compiler));
  parts.push_back(TextOf(there));
  for (const fs::path& file : files) {
    parts.push_back(TextOf(file.filename()));
    parts.push_back(Read(file));
  }
  std::uintmax_t read = 0;
  std::error_code error;
  for (auto entry = fs::recursive_directory_iterator(there, error);
       !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
    std::string name = TextOf(entry->path().filename());
    if (name.starts_with(".")) {
      if (entry->is_directory(error)) entry.disable_recursion_pending();
      continue;
    }
    if (!entry->is_regular_file(error) ||
        std::find(files.begin(), files.end(), entry->path()) != files.end()) {
      continue;
    }
    parts.push_back(TextOf(entry->path().lexically_relative(there)));
    std::uintmax_t size = entry->file_size(error);
    bool whole = read + size <= kKeyBytes;
    parts.push_back(whole ? Read(entry->path()) : Identity(TextOf(entry->path())));
    read += whole ? size : 0;
  }
  return KeyOf(parts);
}

// Runs the compiler, contained as a row is, into `part`, with what it said beside what
// it made; "" or why it did not finish, when `part` is removed.
std::string Compile(std::vector<std::string> words, const std::vector<fs::path>& files,
                    const fs::path& part, const std::string& program, bool cxx,
                    const Bounds& bounds) {
  Bounds compiling = bounds;
  compiling.seconds = 60;
  compiling.wait = 120;
  compiling.memory = std::size_t{1} << 30;
  compiling.file_bytes = std::size_t{64} << 20;
  compiling.writable = TextOf(part);
  compiling.environment = {"PATH=" + TextOf(PathOf(words[0]).parent_path()) +
                           PathSeparator() + DefaultPath()};
  std::error_code error;
  if (files.size() <= kMostNamed) {
    for (const fs::path& file : files) words.push_back(TextOf(file));
  } else {
    // Past what a command line holds: the names in a file the compiler reads.
    std::ofstream listed(part / "sources", std::ios::binary);
    for (const fs::path& file : files) listed << Quoted(TextOf(file)) << "\n";
    listed.close();
    if (!listed) {
      fs::remove_all(part, error);
      return "the checker could not list its sources for the compiler";
    }
    words.push_back("@" + TextOf(part / "sources"));
  }
  words.insert(words.end(), {"-o", TextOf(part / PathOf(ProgramFile(program)))});
  if (!cxx) words.push_back("-lm");
  ProgramRun run = RunOnce(words, "", compiling);
  if (run.ending != Ending::kExited) {
    fs::remove_all(part, error);
    return "its compiler did not finish: " +
           std::string(run.ending == Ending::kTimedOut      ? "out of time"
                       : run.ending == Ending::kOutOfMemory ? "out of memory"
                                                            : run.why);
  }
  std::ofstream said(part / "said", std::ios::binary);
  said << run.error << run.output;
  said.close();
  if (!said) {
    fs::remove_all(part, error);
    return "the checker could not keep what its compiler said";
  }
  return "";
}

}  // namespace

Build BuildFrom(const std::string& folder, const std::string& program,
                const Compilers& compilers, const Bounds& bounds) {
  Build build{.from = SourcesOf(folder, program)};
  if (build.from.empty()) return build;
  std::error_code error;
  fs::path there = fs::absolute(PathOf(folder), error);
  std::vector<fs::path> files = Files(there, build.from);
  if (std::string why = Refused(there, build.from, files, bounds); !why.empty()) {
    build.why = why;
    return build;
  }
  if (build.from.ends_with(".py")) {
    build.command = PythonCommand(files[0]);
    if (build.command.empty())
      build.why = "no Python 3 here to run " + build.from + " with";
    return build;
  }
  bool cxx = std::any_of(files.begin(), files.end(),
                         [](const fs::path& file) { return IsSource(file, true); });
  const std::string& named = cxx ? compilers.cxx : compilers.cc;
  std::string compiler = Found(named);
  if (compiler.empty()) {
    build.why = "no " + std::string(cxx ? "C++" : "C") + " compiler here: " + named +
                " was not found (--cxx and --cc name another)";
    build.no_compiler = true;
    return build;
  }
  std::vector<std::string> words = {compiler, cxx ? "-std=c++20" : "-std=c17", "-O2",
                                    "-Wall"};
  words.insert(words.end(), kLinked.begin(), kLinked.end());
  fs::path cache = PathOf(CacheFolder()) / CacheKey(words, compiler, there, files);
  fs::path made = cache / PathOf(ProgramFile(program));
  if (fs::exists(cache / "said", error)) {
    build.cached = true;
    fs::last_write_time(cache / "said", fs::file_time_type::clock::now(), error);  // used
  } else {
    // Built apart, then put in place whole: a second checker at once builds its own.
    fs::path part = cache;
    part += "." + std::to_string(std::random_device{}()) + ".part";
    fs::create_directories(part, error);
    // Open to the rows' users, who start what is kept there, but not to be listed.
    fs::permissions(PathOf(CacheFolder()),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                    error);
    if (error) {
      build.why = "the checker could not make its build folder: " + error.message();
      return build;
    }
    build.why = Compile(words, files, part, program, cxx, bounds);
    if (!build.why.empty()) return build;
    fs::rename(part, cache, error);
    if (error) fs::remove_all(part, error);  // another checker's build came first
  }
  build.said = Read(cache / "said");
  // The files named as the student knows them, not by the checker's absolute path.
  std::string prefix = TextOf(there / "");
  for (std::size_t at; (at = build.said.find(prefix)) != build.said.npos;) {
    build.said.erase(at, prefix.size());
  }
  build.warnings = Count(build.said, "warning");
  build.refused = !fs::exists(made, error);
  build.said = FirstLines(build.said, kSaidLines);
  if (!build.refused) build.command = {TextOf(made)};
  return build;
}
