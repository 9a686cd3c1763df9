// A class as its platform hands it out: a folder a student, or Moodle's, Canvas's or
// GitHub Classroom's download, as a folder or as the archive itself. Each student is
// named as the platform names them, with its id for the grades; whatever must be
// unpacked or gathered goes into the checker's own folder, never beside the download.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "check.h"
#include "unpack.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned long long kMostClass = 1ull << 30;  // a whole download, unpacked
constexpr unsigned long long kMostOwn = 64ull << 20;   // a student's own archive

bool Digits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
}

// A file or folder of the download, as the platform named it.
struct Entry {
  std::string name;
  fs::path path;
  bool folder = false;
};

// Moodle: `Full Name_ID_assignsubmission_file_` a folder, or that before each file.
bool Moodle(const std::string& name, std::string& student, std::string& id,
            std::string& file) {
  std::size_t at = name.find("_assignsubmission_");
  if (at == name.npos) return false;
  std::size_t cut = name.rfind('_', at - 1);
  if (at == 0 || cut == name.npos || !Digits(name.substr(cut + 1, at - cut - 1)))
    return false;
  student = name.substr(0, cut);
  id = name.substr(cut + 1, at - cut - 1);
  std::size_t plugin = name.find('_', at + 18);  // file_, onlinetext_
  file = plugin == name.npos ? "" : name.substr(plugin + 1);
  return !student.empty();
}

// Canvas: `login_ID_SUBMISSION_name`, `login_LATE_ID_SUBMISSION_name`.
bool Canvas(const std::string& name, std::string& student, std::string& id, bool& late,
            std::string& file) {
  std::vector<std::string> parts;
  for (std::size_t at = 0, end; parts.size() < 5; at = end + 1) {
    end = name.find('_', at);
    parts.push_back(name.substr(at, end == name.npos ? end : end - at));
    if (end == name.npos) break;
  }
  late = parts.size() > 1 && parts[1] == "LATE";
  std::size_t first = late ? 2 : 1;
  if (parts.size() < first + 3 || parts[0].empty() || !Digits(parts[first]) ||
      !Digits(parts[first + 1]))
    return false;
  student = parts[0];
  id = parts[first];
  std::size_t skip = parts[0].size() + 1 + (late ? 5 : 0) + parts[first].size() + 1 +
                     parts[first + 1].size() + 1;
  file = name.substr(skip);
  return !file.empty();
}

// The name Canvas gave a file handed in again (`thermo-1.c`), as the student named it,
// where that is a program's; its number, the later the larger.
std::string Resubmitted(const std::string& file, int& number) {
  number = 0;
  std::size_t dot = file.rfind('.');
  std::string stem = file.substr(0, dot);
  std::size_t dash = stem.rfind('-');
  if (dash == stem.npos || !Digits(stem.substr(dash + 1))) return file;
  std::string program = stem.substr(0, dash);
  if (!IsProgram(program)) return file;
  number = std::stoi(stem.substr(dash + 1, 6));
  return program + (dot == file.npos ? "" : file.substr(dot));
}

// Every file of the checker's copy readable, and every folder open, by the users rows
// run as.
void Open(const fs::path& folder) {
  std::error_code error;
  fs::permissions(folder, fs::perms(0755), error);
  for (auto it = fs::recursive_directory_iterator(folder, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    fs::permissions(it->path(), fs::perms(it->is_directory(error) ? 0755 : 0644), error);
  }
}

// A student's files gathered in a folder of the checker's own, each archive among them
// unpacked in its place; "" where done, else why the student cannot be graded.
std::string Gather(const std::vector<std::pair<fs::path, std::string>>& files,
                   const fs::path& into) {
  std::error_code error;
  fs::create_directories(into, error);
  if (error) return "cannot be gathered: " + error.message();
  for (const auto& [from, name] : files) {
    if (IsArchive(name)) {
      std::string why = Unpack(TextOf(from), TextOf(into), kMostOwn);
      if (!why.empty()) return Visible(name) + ": " + why;
    } else if (fs::is_directory(from, error)) {
      fs::copy(from, into / PathOf(name), fs::copy_options::recursive, error);
    } else {
      fs::copy_file(from, into / PathOf(name), fs::copy_options::overwrite_existing,
                    error);
    }
    if (error) return Visible(name) + " cannot be copied: " + error.message();
  }
  Open(into);
  return "";
}

std::vector<Entry> EntriesOf(const fs::path& folder, std::vector<std::string>& hidden) {
  std::vector<Entry> entries;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(folder, error)) {
    std::string name = TextOf(item.path().filename());
    if (name.starts_with(".")) {  // .git and the like are no one's
      hidden.push_back(name);
      continue;
    }
    entries.push_back({name, item.path(), item.is_directory(error)});
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

// A student's folder that holds archives, gathered with them unpacked; as it is else.
void Unpacked(Student& student, const fs::path& into) {
  std::vector<std::pair<fs::path, std::string>> files;
  bool packed = false;
  std::vector<std::string> hidden;
  for (const Entry& entry : EntriesOf(PathOf(student.folder), hidden)) {
    packed = packed || (!entry.folder && IsArchive(entry.name));
    files.emplace_back(entry.path, entry.name);
  }
  if (!packed) return;
  student.refused = Gather(files, into);
  student.folder = TextOf(into);
  student.gathered = true;
}

}  // namespace

Class ClassIn(const std::string& download) {
  Class found;
  std::string own = PrivateFolder();
  fs::path place = PathOf(own) / "class";
  fs::path top = PathOf(download);
  std::error_code error;
  if (fs::is_regular_file(top, error)) {  // the platform's download itself
    if (!IsArchive(download))
      Refuse(download +
             " is a file, not a folder: --each takes the folder of a class, "
             "or the archive a platform gives for it");
    if (own.empty())
      Refuse(download + ": the checker has no folder of its own to unpack it in");
    if (std::string why = Unpack(download, TextOf(place / "download"), kMostClass);
        !why.empty())
      Refuse(download + ": " + why);
    top = place / "download";
    Open(top);
    std::vector<std::string> hidden;
    std::vector<Entry> inside = EntriesOf(top, hidden);
    if (inside.size() == 1 && inside[0].folder) top = inside[0].path;  // one folder in it
  } else if (!fs::is_directory(top, error)) {
    Refuse("no folder " + download);
  }
  std::vector<std::string> hidden;
  std::vector<Entry> entries = EntriesOf(top, hidden);
  std::string student, id, file;
  bool late = false;
  auto moodle = [&](const Entry& it) { return Moodle(it.name, student, id, file); };
  auto canvas = [&](const Entry& it) {
    return !it.folder && Canvas(it.name, student, id, late, file);
  };
  // Students by id, with their files as the platform names them.
  std::map<std::string, Student> by_id;
  std::map<std::string, std::vector<std::pair<fs::path, std::string>>> files;
  std::map<std::string, std::map<std::string, int>> latest;  // id, file: its number
  int at = 0;
  auto place_of = [&]() { return place / std::to_string(at++); };
  if (std::any_of(entries.begin(), entries.end(), moodle)) {
    found.platform = "Moodle";
    for (const Entry& entry : entries) {
      if (!moodle(entry)) {
        found.left_out.push_back(entry.name);
        continue;
      }
      by_id[id].name = student;
      by_id[id].id = id;
      if (file.empty() && entry.folder) {  // the folder form: the student's own
        for (const Entry& inner : EntriesOf(entry.path, hidden))
          files[id].emplace_back(inner.path, inner.name);
      } else {
        files[id].emplace_back(entry.path, file);
      }
    }
  } else if (std::any_of(entries.begin(), entries.end(), canvas)) {
    found.platform = "Canvas";
    for (const Entry& entry : entries) {
      if (!canvas(entry)) {
        found.left_out.push_back(entry.name);
        continue;
      }
      by_id[id].name = student;
      by_id[id].id = id;
      by_id[id].late = by_id[id].late || late;
      int number = 0;
      std::string named = Resubmitted(file, number);
      auto [kept, fresh] = latest[id].emplace(named, number);
      if (!fresh && kept->second > number) continue;  // a later upload stands already
      kept->second = number;
      auto& mine = files[id];
      std::erase_if(mine, [&](const auto& it) { return it.second == named; });
      mine.emplace_back(entry.path, named);
    }
  }
  if (!found.platform.empty()) {
    for (auto& [key, one] : by_id) {
      fs::path into = place_of();
      one.refused = own.empty() ? "the checker has no folder of its own to gather it in"
                                : Gather(files[key], into);
      one.folder = TextOf(into);
      one.gathered = true;
      found.students.push_back(one);
    }
  } else {
    // GitHub Classroom's clones share the assignment's name, `assignment-username`,
    // and each holds its .git; plain folders are students by their own names; an archive,
    // by its name.
    std::vector<const Entry*> folders;
    for (const Entry& entry : entries) {
      if (entry.folder) folders.push_back(&entry);
    }
    std::string shared = folders.size() > 1 ? folders[0]->name : "";
    for (const Entry* entry : folders) {
      std::size_t same = 0;
      while (same < shared.size() && same < entry->name.size() &&
             shared[same] == entry->name[same])
        ++same;
      shared.resize(same);
    }
    shared.resize(shared.rfind('-') == shared.npos ? 0 : shared.rfind('-') + 1);
    // Clones each, named alike: plain folders whose names share a start are not taken
    // for them.
    bool classroom =
        !shared.empty() &&
        std::all_of(folders.begin(), folders.end(), [&](const Entry* it) {
          return it->name.size() > shared.size() && fs::exists(it->path / ".git", error);
        });
    if (classroom) found.platform = "GitHub Classroom";
    for (const Entry& entry : entries) {
      Student one{.name = entry.name, .folder = TextOf(entry.path)};
      if (entry.folder) {
        if (classroom) one.name = entry.name.substr(shared.size());
        if (!own.empty()) Unpacked(one, place_of());
      } else if (IsArchive(entry.name)) {  // a student's work, handed in packed
        fs::path into = place_of();
        one.name = entry.name.substr(0, entry.name.find('.'));
        one.refused = own.empty() ? "the checker has no folder of its own to unpack it in"
                                  : Gather({{entry.path, entry.name}}, into);
        one.folder = TextOf(into);
        one.gathered = true;
      } else {  // notes, an assignment: no one's submission
        found.left_out.push_back(entry.name);
        continue;
      }
      found.students.push_back(one);
    }
  }
  // Two students of one name are told apart by their ids.
  for (Student& one : found.students) {
    int same = static_cast<int>(
        std::count_if(found.students.begin(), found.students.end(),
                      [&](const Student& it) { return it.name == one.name; }));
    one.shown = one.name + (same > 1 && !one.id.empty() ? " (" + one.id + ")" : "") +
                (one.late ? " (late)" : "");
  }
  if (found.students.empty()) Refuse("no submissions in " + download);
  return found;
}
