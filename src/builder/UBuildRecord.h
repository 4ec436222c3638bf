#pragma once
// How an edition was built, kept beside its manifest in data/build.ini so that
// `tellmark-build --update` can build it again from newer files:
//
//   [Build]
//   Program=tellmark-build 1.2.0
//   Option=--intl=0            options other than sources, in the order given
//   Source=--fcc=/abs/l_amat.zip   source options (files), absolute paths, in the order given
//   Source=--fcc-daily=/abs/l_am_mon.zip
//   FccWeekly=2026-12-06       dates of the FCC files, when the build had dated archives
//   FccDaily=2026-12-08
//
// Options and sources are whole "--name=value" (or "--flag") arguments, so any source option a
// later builder knows is recorded and replayed the same way.
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/UStatus.h"

// The record's place in an edition folder.
inline constexpr const char* kBuildRecordName = "data/build.ini";

// Options naming a source file of the build; every other recorded option is replayed as is.
inline constexpr std::string_view kSourceOptions[] = {"--fcc", "--fcc-daily", "--intl-csv",
                                                      "--ised", "--cty"};
bool IsSourceOption(std::string_view name);

struct TBuildRecord {
  std::string program;
  std::vector<std::string> options;  // "--name=value" or "--flag"
  std::vector<std::string> sources;  // "--name=/absolute/path"
  std::string fccWeekly, fccDaily;   // "YYYY-MM-DD"; empty when unknown

  // The sources given with the option name (their values).
  std::vector<std::string> SourcesOf(std::string_view name) const;
  // The sources except those of the named options.
  std::vector<std::string> SourcesExcept(std::initializer_list<std::string_view> names) const;
};

std::string FormatBuildRecord(const TBuildRecord& r);
// The record; a malformed one gives a Corrupt status naming the line.
TResult<TBuildRecord> ParseBuildRecord(const std::string& text);
// Reads DIR/data/build.ini; false when the edition has none; throws EStatusError when it
// cannot be read or is malformed.
bool ReadBuildRecord(const std::string& editionDir, TBuildRecord& r);
