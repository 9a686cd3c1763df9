// Archives read and written with libarchive, where the checker was built with it; each
// entry checked before a byte of it is written, and written by the checker itself, so
// that no name, link or size in an archive reaches past its folder.
#include "unpack.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "transcript.h"

#ifdef SUITE_ARCHIVES
#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#endif

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

#ifdef SUITE_ARCHIVES
constexpr int kMostDepth = 16;
constexpr unsigned kMostEntries = 10000;

// Why `name` may not be unpacked, "" where it may: it must be UTF-8 and printable,
// relative, without `..`, and not too deep.
std::string BadName(const std::string& name) {
  if (name.empty() || name.front() == '/') return "leads out of the archive";
  int depth = 0;
  std::size_t at = 0;
  while (at <= name.size()) {
    std::size_t end = std::min(name.find('/', at), name.size());
    std::string part = name.substr(at, end - at);
    if (part == "..") return "leads out of the archive";
    if (!part.empty() && part != ".") ++depth;
    for (std::size_t i = 0; i < part.size();) {
      char32_t point = 0;
      std::size_t length = Utf8Length(part, i, &point);
      if (length == 0 || point < 0x20 || point == 0x7f || point == '\\' || point == ':')
        return "is not a name a file may have";
      i += length;
    }
    at = end + 1;
  }
  return depth > kMostDepth ? "lies more than 16 folders deep" : "";
}
#endif

}  // namespace

bool IsArchive(const std::string& name) {
  std::string low = Lower(name);
  for (const char* ending :
       {".zip", ".tar", ".tgz", ".gz", ".bz2", ".xz", ".7z", ".rar"}) {
    if (low.ends_with(ending)) return true;
  }
  return false;
}

#ifdef SUITE_ARCHIVES

std::string Unpack(const std::string& archive, const std::string& folder,
                   unsigned long long most) {
  std::error_code error;
  std::filesystem::create_directories(PathOf(folder), error);
  if (error) return "cannot be unpacked: " + Visible(folder) + ": " + error.message();
  // Names are read as UTF-8 whatever the person's locale, in this thread alone.
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  locale_t before = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);
  struct archive* reader = archive_read_new();
  archive_read_support_filter_all(reader);
  archive_read_support_format_all(reader);
  std::string why;
  if (archive_read_open_filename(reader, PathOf(archive).c_str(), 1 << 16) !=
      ARCHIVE_OK) {
    why = std::string("cannot be read: ") + archive_error_string(reader);
  }
  unsigned long long written = 0;
  unsigned entries = 0;
  struct archive_entry* entry = nullptr;
  while (why.empty()) {
    int next = archive_read_next_header(reader, &entry);
    if (next == ARCHIVE_EOF) break;
    if (next < ARCHIVE_WARN) {
      why = std::string("cannot be read: ") + archive_error_string(reader);
      break;
    }
    const char* named = archive_entry_pathname_utf8(entry);
    if (!named) named = archive_entry_pathname(entry);
    std::string name = named ? named : "";
    std::string shown = Visible(name);
    auto type = archive_entry_filetype(entry);
    if (++entries > kMostEntries) {
      why = "holds more than 10000 files";
    } else if (std::string bad = BadName(name); !bad.empty()) {
      why = shown + " " + bad;
    } else if (archive_entry_hardlink(entry) || type == AE_IFLNK) {
      why = shown + " is a link";
    } else if (type == AE_IFDIR) {
      std::filesystem::create_directories(PathOf(folder) / PathOf(name), error);
      if (error) why = shown + " cannot be made: " + error.message();
    } else if (type != AE_IFREG) {
      why = shown + " is a device or a pipe, not a file";
    } else {
      std::filesystem::path path = PathOf(folder) / PathOf(name);
      std::filesystem::create_directories(path.parent_path(), error);
      if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
        why = shown + " stands twice in it";
        break;
      }
      std::ofstream out(path, std::ios::binary);
      char block[1 << 16];
      for (la_ssize_t got;
           why.empty() && (got = archive_read_data(reader, block, sizeof block)) != 0;) {
        if (got < 0) {
          why = shown + " cannot be read: " + archive_error_string(reader);
        } else if ((written += static_cast<unsigned long long>(got)) > most) {
          why = "unpacks past " + std::to_string(most >> 20) +
                " MiB, and was stopped there";
        } else {
          out.write(block, got);
        }
      }
      if (why.empty() && !out.flush()) why = shown + " cannot be written";
    }
  }
  archive_read_free(reader);
  if (utf8) {
    uselocale(before);
    freelocale(utf8);
  }
  return why;
}

std::string WriteZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& files) {
  struct archive* writer = archive_write_new();
  archive_write_set_format_zip(writer);
  std::string why;
  if (archive_write_open_filename(writer, PathOf(path).c_str()) != ARCHIVE_OK)
    why = archive_error_string(writer);
  for (const auto& [name, bytes] : files) {
    if (!why.empty()) break;
    struct archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname_utf8(entry, name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(bytes.size()));
    if (archive_write_header(writer, entry) != ARCHIVE_OK ||
        archive_write_data(writer, bytes.data(), bytes.size()) !=
            static_cast<la_ssize_t>(bytes.size()))
      why = archive_error_string(writer);
    archive_entry_free(entry);
  }
  if (archive_write_close(writer) != ARCHIVE_OK && why.empty())
    why = archive_error_string(writer);
  archive_write_free(writer);
  return why;
}

#else

std::string Unpack(const std::string&, const std::string&, unsigned long long) {
  return "is an archive, and this checker was built without libarchive: unpack it";
}

std::string WriteZip(const std::string&,
                     const std::vector<std::pair<std::string, std::string>>&) {
  return "this checker was built without libarchive, which writes zips";
}

#endif
