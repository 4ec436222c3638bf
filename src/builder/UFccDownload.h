#pragma once
// Downloads the FCC amateur licence files (libcurl): the weekly file complete/l_amat.zip and the
// daily files daily/l_am_sun.zip .. l_am_sat.zip under a base URL, into a cache folder. Each
// request is conditional on the ETag and Last-Modified of the copy in the cache, so files that
// did not change are not downloaded again. A download goes to "<name>.part", is checked as an
// archive (the three members, sizes and CRC-32s) and only then replaces the cached copy; a
// damaged or cut download is named and the cache keeps what it had.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/UStatus.h"

inline constexpr const char* kFccDefaultUrl = "https://data.fcc.gov/download/pub/uls/";
inline constexpr const char* kFccWeeklyName = "l_amat.zip";
// The daily files in the order of the week's days, Sunday first.
inline constexpr const char* kFccDailyNames[7] = {"l_am_sun.zip", "l_am_mon.zip", "l_am_tue.zip",
                                                  "l_am_wed.zip", "l_am_thu.zip", "l_am_fri.zip",
                                                  "l_am_sat.zip"};

struct TFccDownloadOptions {
  std::string baseUrl = kFccDefaultUrl;  // with or without the final "/"
  std::string cacheDir;                  // empty: FccCacheDir()
  bool offline = false;                  // the cache only
  // A download slower than lowSpeedLimit bytes/s for lowSpeedTime seconds is given up.
  long lowSpeedLimit = 1000;
  long lowSpeedTime = 60;
  // A body larger than this (or than the server announced) is refused as it arrives.
  uint64_t maxBytes = uint64_t{2} << 30;
  // Bytes of the file being downloaded (total 0 when the server does not say).
  std::function<void(const std::string& file, uint64_t done, uint64_t total)> progress;
};

struct TFccDownloadResult {
  std::string weekly;                   // path of the weekly file in the cache
  std::string weeklyDay;                // its date, "YYYY-MM-DD"
  std::vector<std::string> daily;       // daily files of the weekly's day or later, in date order
  std::string lastDailyDay;             // the date of the last of them; empty when none
  std::vector<std::string> downloaded;  // names of the files fetched anew
  uint64_t bytes = 0;                   // bytes fetched
};

// $XDG_CACHE_HOME/tellmark/fcc, else $HOME/.cache/tellmark/fcc.
std::string FccCacheDir();
// Brings the cache up to date; throws EStatusError naming the file and the reason.
TFccDownloadResult DownloadFcc(const TFccDownloadOptions& options);
// Checks an archive of FCC files: HD.dat, EN.dat and AM.dat present and whole. Throws
// EStatusError naming `shown` and the reason.
void CheckFccArchive(const std::string& path, const std::string& shown);
// "YYYY-MM-DD" of the archive's HD.dat (the date the importer orders files by); throws
// EStatusError when the archive cannot be read.
std::string FccArchiveDay(const std::string& path);
