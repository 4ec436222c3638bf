#pragma once
// tellmark-build --update DIR: downloads the newest FCC files (UFccDownload) and builds the
// edition in DIR again from its build record (UBuildRecord) with them, in the sibling folder
// "DIR.update", which then takes DIR's place in one rename (the old edition stays usable until
// then; a leftover sibling of a killed run is removed by the next one). A DIR without an edition
// gets a new FCC edition, built with the build options given beside --update.
//
// Whether to build is decided from dates: the cache's newest weekly and daily files against the
// dates the build record names, so files that an earlier (killed) run or the update of another
// edition sharing the cache brought are built from too.
#include <string>
#include <vector>

#include "builder/UFccDownload.h"
#include "common/UStatus.h"

// The timer's environment file, in $XDG_CONFIG_HOME/tellmark (else ~/.config/tellmark):
// TELLMARK_EDITION="DIR", written by --update DIR --enable-timer.
inline constexpr const char* kUpdateEnvName = "update.env";

// The builder's own entry: parses argv like the command line and builds; 0 when it built.
using TBuildFunction = int (*)(int argc, char** argv);

struct TUpdateOptions {
  std::string dir;  // the edition folder, absolute and without a trailing separator
  std::string url = kFccDefaultUrl;
  bool offline = false;      // the cache only
  bool quiet = false;        // no progress or summary
  bool enableTimer = false;  // name dir in the timer's environment file and enable the timer
  std::vector<std::string> buildOptions;  // of a new edition (a recorded one keeps its own)
};

// How an update ended that did not fail.
struct TUpdateOutcome {
  enum TEnd {
    UpToDate,        // the edition holds the newest data of the cache
    Updated,         // built again and swapped in
    BuildFailed,     // the build step failed (it said why); the edition is unchanged
    OptionsRefused,  // build options given for an edition that has a build record
  } end = UpToDate;
  int buildExitCode = 0;  // what the build step returned, when BuildFailed
};

// Brings the edition in options.dir up to date (a folder without one gets a new FCC edition).
// A failure (download, file system, a folder that holds no FCC edition) is the status; the
// edition is unchanged then.
TResult<TUpdateOutcome> Update(const TUpdateOptions& options, TBuildFunction build);

// Whether the cache's files (d) hold data newer than an edition built from the weekly file of
// builtWeekly and daily files to builtDaily ("YYYY-MM-DD", empty when none).
bool NewerData(const TFccDownloadResult& d, const std::string& builtWeekly,
               const std::string& builtDaily);
