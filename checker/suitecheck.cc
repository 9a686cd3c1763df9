// suitecheck: holds anyone's versions of the programs to their transcripts and page
// examples, and reports to a person: a line a program with a mark a row, and for the
// first row that failed, its input, where the output differs and the command that runs
// it again. It checks one folder or a class of them, writes the verdicts for machines,
// exports the rows for other graders, and adds a row from the programs built beside it.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "check.h"

namespace {

// Where Ubuntu's AppArmor refuses namespaces to the person, what lifts it.
constexpr char kNamespacesRefused[] =
    "where AppArmor refuses them, sudo apparmor_parser -r "
    "share/suitecheck/apparmor.profile, as the README says";

// The runs typed at a terminal, shared by the rows that type the same: nothing is
// looked for once a row's last answer is typed, so two rows whose answers but the last,
// and the output before each, are the same are one check, and a program's rows that
// differ only in what is answered last (most of them) are typed once.
struct Typings {
  std::mutex guard;
  std::map<std::string, std::shared_future<ProgramRun>> runs;
};

// `row` run again as a person has it at a terminal: each answer typed once the output
// before it has appeared. What the batch run cannot see: a prompt written only after
// its answer is read. None for a row whose answers all come before its output, which
// has no prompt to wait for; `*own` says whether the run was this row's own.
std::optional<ProgramRun> Typed(const Unit& unit, const Transcript& row, Typings& typings,
                                bool* own) {
  Typing typing{.answers = AnswersOf(row.input)};
  bool prompted = false;
  std::string key = std::to_string(reinterpret_cast<std::uintptr_t>(&unit));
  auto add = [&key](std::string_view part) {
    key += ":" + std::to_string(part.size()) + ":";
    key += part;
  };
  for (std::size_t i = 0; i < typing.answers.size(); ++i) {
    typing.before.push_back(OutputBefore(row, i));
    prompted = prompted || !typing.before.back().empty();
    add(typing.before.back());
    add(i + 1 < typing.answers.size() ? typing.answers[i] : "");
  }
  if (!prompted) return std::nullopt;
  std::promise<ProgramRun> run;
  std::shared_future<ProgramRun> shared;
  {
    std::lock_guard<std::mutex> hold(typings.guard);
    auto [at, made] = typings.runs.try_emplace(key);
    if (made) at->second = run.get_future().share();
    shared = at->second;
    *own = made;
  }
  if (*own) run.set_value(RunOnce(unit.command, row.input, unit.bounds, &typing));
  return shared.get();
}

// `typings`: rows are typed at a terminal too, once they pass as a whole.
RowResult RunRow(const Unit& unit, const Transcript& row, const Options& options,
                 Typings* typings) {
  const Counted& counted =
      unit.counted[static_cast<std::size_t>(&row - unit.rows.data())];
  RowResult outcome{.submission = unit.submission,
                    .program = unit.program,
                    .row = row.name,
                    .worth = counted.cents,
                    .hidden = counted.hidden,
                    .built = unit.note};
  if (unit.before) {  // what stands in its place, or what the compiler said
    outcome.verdict = *unit.before;
    outcome.report = unit.before->said + "\n" + unit.note;
    return outcome;
  }
  ProgramRun run = RunOnce(unit.command, row.input, unit.bounds);
  outcome.verdict = VerdictOf(row, run, unit.bounds, options.crlf);
  outcome.seconds = run.seconds;
  outcome.wrote_crlf = WritesCrlf(run.output);
  std::optional<ProgramRun> at_terminal;
  bool own = false;
  if (typings && outcome.verdict.Passed()) at_terminal = Typed(unit, row, *typings, &own);
  if (at_terminal) {
    if (own) outcome.seconds += at_terminal->seconds;
    if (at_terminal->unasked != std::string::npos) {
      run = std::move(*at_terminal);
      outcome.verdict = PromptLate(row, run);
    }
  }
  if (!outcome.verdict.Passed()) {
    std::string rerun =
        options.rerun + (unit.gathered ? " --each " + Quoted(options.target)
                                       : " --against " + Quoted(unit.folder));
    char text[64];
    if (options.seconds != Options{}.seconds) {
      std::snprintf(text, sizeof text, " --seconds %g", options.seconds);
      rerun += text;
    }
    if (options.wait != Options{}.wait) {
      std::snprintf(text, sizeof text, " --wait %g", options.wait);
      rerun += text;
    }
    if (options.megabytes != Options{}.megabytes) {
      rerun += " --memory " + std::to_string(options.megabytes);
    }
    for (const std::string& variable : options.environment) {
      rerun += " --env " + Quoted(variable);
    }
    if (options.crlf) rerun += " --crlf";
    if (!options.dialogue) rerun += " --no-dialogue";
    outcome.report = Report(row, run, outcome.verdict,
                            Visible(rerun) + " " + row.program + "/" + row.name);
  }
  return outcome;
}

// Whether a file can be made beside `path`, where the results will go: tried by making
// one and removing it, before any row runs.
bool CanWriteBeside(const std::string& path) {
  std::string temporary = WriteNew(path, "");
  std::error_code error;
  if (!temporary.empty()) std::filesystem::remove(PathOf(temporary), error);
  return !temporary.empty();
}

// The results written whole beside `path`, in a file of their own no other checker
// shares, then put in its place at once: a reader, a stop or a program meets the old
// file or the new one, never a mix.
bool WriteWhole(const std::string& path, const std::vector<RowResult>& results,
                void (*write)(std::ostream&, const std::vector<RowResult>&)) {
  std::ostringstream text;
  write(text, results);
  std::string temporary = WriteNew(path, text.str());
  if (temporary.empty()) return false;
  std::error_code error;
  std::filesystem::rename(PathOf(temporary), PathOf(path), error);
  if (error) {
    std::filesystem::remove(PathOf(temporary), error);
    errno = error.value();
    return false;
  }
  return true;
}

// A class's rows, and results its students read, are not run as the person who grades
// where nothing else can be had, unless the person says so.
void RefuseToRunAsMe(const Options& options) {
  bool grading = options.mode == "--each" || !options.gradescope.empty();
  if (!grading || options.as_me || !ContainmentRefused() || !options.wine.empty()) return;
  Refuse(std::string(options.mode == "--each" ? "--each" : "--gradescope") +
         ": rows would run as you, your files in their reach: this system lets the "
         "checker neither change user (it is not root) nor make namespaces (" +
         kNamespacesRefused + "); --run-as-me grades anyway");
}

// Every row of a check, in order: workers take the next one, one a processor, since a
// row is judged by the processor time it uses; the person sees them in order.
struct Pool {
  std::vector<std::pair<const Unit*, const Transcript*>> work;
  std::vector<RowResult> results;
  std::vector<char> ready;
  std::mutex guard;
  std::condition_variable came;
  std::atomic<std::size_t> taken{0};
  std::size_t told = 0;  // results handed to the report
  std::vector<std::thread> workers;
};

void StartRows(Pool& pool, const std::vector<Unit>& units, const Options& options,
               unsigned jobs, Typings* typings) {
  for (const Unit& unit : units) {
    for (const Transcript& row : unit.rows) pool.work.emplace_back(&unit, &row);
  }
  pool.results.resize(pool.work.size());
  pool.ready.assign(pool.work.size(), 0);
  pool.workers.resize(std::min<std::size_t>(pool.work.size(), jobs));
  for (std::thread& worker : pool.workers) {
    worker = std::thread([&pool, &options, typings] {
      for (std::size_t at; !StopSignal() && (at = pool.taken++) < pool.work.size();) {
        RowResult result =
            RunRow(*pool.work[at].first, *pool.work[at].second, options, typings);
        std::lock_guard<std::mutex> hold(pool.guard);
        pool.results[at] = std::move(result);
        pool.ready[at] = 1;
        pool.came.notify_all();
      }
    });
  }
}

// Waits for the next row's result, or for a stop, which ends the checker with the old
// results files as they were.
const RowResult& NextResult(Pool& pool) {
  std::unique_lock<std::mutex> hold(pool.guard);
  while (!pool.came.wait_for(hold, std::chrono::milliseconds(50),
                             [&] { return pool.ready[pool.told] != 0; })) {
    if (StopSignal()) {
      hold.unlock();
      for (std::thread& worker : pool.workers) worker.join();
      EndAsStopped();
    }
  }
  return pool.results[pool.told++];
}

int Check(const Options& options, const Sources& sources) {
  RefuseToRunAsMe(options);
  if (!options.worksheet.empty()) FillGradebook(options, nullptr, {});
  Class found;
  std::vector<Unit> units = Plan(options, sources, &found);
  unsigned jobs =
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  BuildAll(units, options, jobs);
  const std::pair<const std::string*,
                  void (*)(std::ostream&, const std::vector<RowResult>&)>
      kFiles[] = {{&options.json, WriteJson},
                  {&options.junit, WriteJunit},
                  {&options.csv, WriteCsv},
                  {&options.gradescope, WriteGradescope},
                  {&options.html, WriteHtml}};
  for (const auto& [path, write] : kFiles) {
    if (!path->empty() && !CanWriteBeside(*path)) Refuse(*path + ": cannot be written");
  }
  for (const std::string* path : {&options.grades, &options.feedback}) {
    if (!path->empty() && !CanWriteBeside(*path)) Refuse(*path + ": cannot be written");
  }
  // Why rows are not typed at a terminal, where they are to be and cannot.
  std::string untyped;
  if (options.dialogue) {
    untyped = options.wine.empty() ? NoTerminal()
                                   : "a Windows program under wine has no terminal here";
  }
  Pool pool;
  Typings typings;
  StartRows(pool, units, options, jobs,
            options.dialogue && untyped.empty() ? &typings : nullptr);

  bool each = options.mode == "--each";
  char bound[96];
  std::snprintf(bound, sizeof bound, "at most %g s of processor and %zu MB",
                options.seconds, options.megabytes);
  std::printf(
      "== the transcripts against %s %s; %s, %s%s\n",
      each ? "each submission in" : "the programs in", Visible(options.target).c_str(),
      HeldInWords(options.wine.empty()).c_str(), bound,
      untyped.empty()
          ? ""
          : ("; answers are not typed after their prompts (" + untyped + ")").c_str());
  if (each) TellFound(found);
  Counts counts;
  auto next = [&]() -> const RowResult& { return NextResult(pool); };
  bool rows_named =
      std::any_of(options.names.begin(), options.names.end(),
                  [](const std::string& name) { return name.find('/') != name.npos; });
  for (const Unit& unit : units) {
    Tell(unit, each, options.crlf, options.all || rows_named, next, counts);
  }
  for (std::thread& worker : pool.workers) worker.join();
  if (StopSignal()) EndAsStopped();
  if (each) TellClass(pool.results);
  if (counts.missing > 0 && !each) {
    std::printf("%d of the programs missing from %s\n", counts.missing,
                Visible(options.target).c_str());
  }
  std::printf("tests: %d passed, %d failed\n", counts.passed, counts.failed);
  if (!options.worksheet.empty()) {
    for (const std::string& line : FillGradebook(options, &found, pool.results))
      std::printf("%s\n", line.c_str());
  }
  if (!each && !options.assignment.parts.empty() && !pool.results.empty()) {
    Summary summary = Summaries(pool.results).front();
    std::printf("points: %s of %s\n", Points(summary.points).c_str(),
                Points(summary.max).c_str());
  }
  for (const auto& [path, write] : kFiles) {
    if (!path->empty() && !WriteWhole(*path, pool.results, write)) {
      std::fprintf(stderr, "suitecheck: %s: write error: %s\n", Visible(*path).c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  return counts.failed == 0 && counts.missing == 0 && counts.broken == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options = Parsed(Arguments(argc, argv), argc > 0 ? argv[0] : "suitecheck");
  // A class's rows end as a whole when stopped; a record or an export stops at once.
  PrepareToRun(options.mode == "--against" || options.mode == "--each");
  Sources sources = FindSources();
  int status = 0;
  try {
    if (options.mode == "--record") {
      status = Record(options, sources);
    } else if (options.mode == "--export") {
      status = Export(options, sources);
    } else {
      status = Check(options, sources);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "suitecheck: %s\n", Visible(error.what()).c_str());
    return 1;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "suitecheck: write error: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}
