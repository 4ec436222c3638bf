#include "builder/UBuildRecord.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"

namespace {

std::string_view OptionName(std::string_view arg) { return arg.substr(0, arg.find('=')); }

}  // namespace

bool IsSourceOption(std::string_view name) {
  for (std::string_view s : kSourceOptions)
    if (s == name) return true;
  return false;
}

std::vector<std::string> TBuildRecord::SourcesOf(std::string_view name) const {
  std::vector<std::string> r;
  for (const std::string& s : sources)
    if (OptionName(s) == name && s.size() > name.size()) r.push_back(s.substr(name.size() + 1));
  return r;
}

std::vector<std::string> TBuildRecord::SourcesExcept(
    std::initializer_list<std::string_view> names) const {
  std::vector<std::string> r;
  for (const std::string& s : sources) {
    bool skip = false;
    for (std::string_view n : names) skip = skip || OptionName(s) == n;
    if (!skip) r.push_back(s);
  }
  return r;
}

std::string FormatBuildRecord(const TBuildRecord& r) {
  std::string t = "[Build]\r\nProgram=" + r.program + "\r\n";
  for (const auto& o : r.options) t += "Option=" + o + "\r\n";
  for (const auto& s : r.sources) t += "Source=" + s + "\r\n";
  if (!r.fccWeekly.empty()) t += "FccWeekly=" + r.fccWeekly + "\r\n";
  if (!r.fccDaily.empty()) t += "FccDaily=" + r.fccDaily + "\r\n";
  return t;
}

TResult<TBuildRecord> ParseBuildRecord(const std::string& text) {
  TBuildRecord r;
  bool header = false;
  for (const TIniLine& l : ReadIniLines(text)) {
    const auto fail = [&](const std::string& what) {
      return TStatus::Corrupt("line " + std::to_string(l.number) + " of the build record: " + what);
    };
    if (!header) {
      if (!l.section || l.name != "Build") return fail("no [Build] section");
      header = true;
      continue;
    }
    if (!l.pair) return fail("no key=value");
    const std::string& key = l.key;
    const std::string& value = l.value;
    const bool option = value.size() >= 3 && value.compare(0, 2, "--") == 0;
    if (key == "Program") {
      r.program = value;
    } else if (key == "Option") {
      if (!option) return fail("not an option: " + value);
      r.options.push_back(value);
    } else if (key == "Source") {
      if (!option) return fail("not an option: " + value);
      if (value.find('=') == std::string::npos) return fail("a source without a file: " + value);
      r.sources.push_back(value);
    } else if (key == "FccWeekly") {
      r.fccWeekly = value;
    } else if (key == "FccDaily") {
      r.fccDaily = value;
    }  // other keys: of a later builder, ignored
  }
  if (!header) return TStatus::Corrupt("the build record is empty");
  return r;
}

bool ReadBuildRecord(const std::string& editionDir, TBuildRecord& r) {
  const std::string path = editionDir + "/" + kBuildRecordName;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return false;
    throw EStatusError(TStatus::CannotRead(path, errno));
  }
  std::string text;
  if (!ReadWholeFile(path, text))
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError, "cannot read " + path));
  TResult<TBuildRecord> parsed = ParseBuildRecord(text);
  if (!parsed.ok()) throw EStatusError(parsed.Status().WithContext(path));
  r = std::move(parsed).Value();
  return true;
}
