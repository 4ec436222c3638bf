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

#include "builder/UFccDownload.h"

// The timer's environment file, in $XDG_CONFIG_HOME/tellmark (else ~/.config/tellmark):
// TELLMARK_EDITION="DIR", written by --update DIR --enable-timer.
inline constexpr const char* kUpdateEnvName = "update.env";

// The builder's own entry: parses argv like the command line and builds.
using TBuildFunction = int (*)(int argc, char** argv);

int Update(int argc, char** argv, TBuildFunction build);

// Whether the cache's files (d) hold data newer than an edition built from the weekly file of
// builtWeekly and daily files to builtDaily ("YYYY-MM-DD", empty when none).
bool NewerData(const TFccDownloadResult& d, const std::string& builtWeekly,
               const std::string& builtDaily);
