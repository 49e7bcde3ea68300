#include "cue_sheet.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

#include "stdio_file.h"

namespace fs = std::filesystem;

namespace pellorin {

namespace {

void AppendTrack(std::string& cue, int track) {
  cue += "  TRACK ";
  if (track < 10) cue += '0';
  cue += std::to_string(track);
  cue += " AUDIO\n";
}

bool WriteAll(FilePtr file, std::string_view text) {
  bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  ok = std::fflush(file.get()) == 0 && ok;
  return std::fclose(file.release()) == 0 && ok;
}

// Creates a fresh file beside target, never reusing an existing name.
std::optional<std::pair<fs::path, FilePtr>> CreateTemporaryBeside(const fs::path& target) {
  auto seed =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    // A hidden name, so a half-written sheet is never mistaken for a finished one.
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += '.';
    hidden += std::to_string((seed + attempt) % 1000000007);
    hidden += ".tmp";
    fs::path name = target;
    name.replace_filename(hidden);
    if (FilePtr file = OpenFile(name.string(), "wx")) return std::pair{name, std::move(file)};
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

// nullopt when no temporary file can be made there (an unwritable directory):
// then the target is written in place.
std::optional<bool> ReplaceThroughTemporary(const fs::path& target, const fs::file_status& old,
                                            std::string_view text) {
  auto temporary = CreateTemporaryBeside(target);
  if (!temporary) return std::nullopt;
  auto& [name, file] = *temporary;
  std::error_code error;
  bool ok = WriteAll(std::move(file), text);
  if (ok && fs::exists(old)) fs::permissions(name, old.permissions(), error);
  if (ok && !error) fs::rename(name, target, error);
  if (!ok || error) {
    fs::remove(name, error);
    return false;
  }
  return true;
}

bool WriteInPlace(const fs::path& target, std::string_view text) {
  // When the target is our own standard output (as /dev/stdout is), append so
  // the sheet lands behind the report instead of over it.
  std::error_code error;
  bool is_stdout = fs::equivalent(target, "/dev/stdout", error);
  FilePtr file = OpenFile(target.string(), is_stdout ? "a" : "w");
  return file && WriteAll(std::move(file), text);
}

}  // namespace

std::string ComposeCueSheet(std::span<const ListLine> lines) {
  std::string cue;
  int track = 1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ListLine& line = lines[i];
    bool is_file = line.kind == LineKind::kFile;
    if (!is_file && line.kind != LineKind::kSplit) continue;

    if (is_file) cue.append("FILE \"").append(line.text).append("\" WAVE\n");
    AppendTrack(cue, track++);
    if (i + 1 < lines.size() && lines[i + 1].kind == LineKind::kPregap) {
      cue.append("    PREGAP ").append(TimeText(lines[++i])).append("\n");
    }
    cue.append("    INDEX 01 ").append(is_file ? "00:00:00" : TimeText(line)).append("\n");
  }
  return cue;
}

bool WriteCueSheet(const std::string& path, std::string_view text) {
  std::error_code error;
  fs::file_status old = fs::symlink_status(path, error);
  if (old.type() == fs::file_type::not_found || old.type() == fs::file_type::regular) {
    if (auto replaced = ReplaceThroughTemporary(path, old, text)) return *replaced;
  }
  return WriteInPlace(path, text);
}

}  // namespace pellorin
