#include "builder/UFccUpdate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "builder/UBuildRecord.h"
#include "builder/UFccDownload.h"
#include "builder/UProgressLine.h"
#include "common/IOUtil.h"
#include "common/UStatus.h"
#include "dataset/UDataSet.h"
#include "dataset/UEdition.h"

namespace fs = std::filesystem;

namespace {

std::string Dated(const std::string& weekly, const std::string& daily) {
  TEdition ed;
  ed.fccWeekly = weekly;
  ed.fccDaily = daily;
  const std::string t = DataDateText(ed);
  return t.empty() ? "FCC data of unknown date" : t;
}

// Entries of the old edition folder the build does not write (the user's files): linked into
// the new one, so the swap keeps them.
void CarryOver(const fs::path& from, const fs::path& to) {
  for (const auto& e : fs::directory_iterator(from)) {
    const fs::path target = to / e.path().filename();
    if (fs::exists(fs::symlink_status(target))) continue;
    std::error_code ec;
    fs::copy(e.path(), target,
             fs::copy_options::recursive | fs::copy_options::create_hard_links |
                 fs::copy_options::copy_symlinks,
             ec);
    if (ec)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError,
          "cannot keep " + e.path().string() + " in the new edition: " + ec.message()));
  }
}

// DIR and the finished sibling trade places in one step.
void Swap(const fs::path& fresh, const fs::path& dir) {
  if (!fs::exists(dir)) {
    if (::rename(fresh.c_str(), dir.c_str()) != 0)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot rename " + fresh.string() + ": " + std::strerror(errno)));
    return;
  }
  if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, dir.c_str(), RENAME_EXCHANGE) != 0)
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError, "cannot put the new edition " + fresh.string() + " in place of " +
                                  dir.string() + ": " + std::strerror(errno) +
                                  " (the old one is unchanged)"));
}

// The user's configuration folder of Tellmark.
fs::path ConfigDir() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg == '/') return fs::path(xdg) / "tellmark";
  const char* home = std::getenv("HOME");
  if (!home || !*home)
    throw EStatusError(TStatus::InvalidArgument("neither XDG_CONFIG_HOME nor HOME is set"));
  return fs::path(home) / ".config" / "tellmark";
}

// Names dir in the timer's environment file and enables the timer. A systemctl that cannot
// (no user session) is reported with the command to run; the edition is up to date either way.
void EnableTimer(const fs::path& dir, bool quiet) {
  const fs::path conf = ConfigDir();
  std::error_code ec;
  fs::create_directories(conf, ec);
  if (ec)
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError, "cannot create " + conf.string() + ": " + ec.message()));
  std::string quoted;
  for (char c : dir.string()) {
    if (c == '\\' || c == '"' || c == '$') quoted += '\\';
    quoted += c;
  }
  const fs::path env = conf / kUpdateEnvName;
  if (!WriteFileAtomically(env.string(),
                           "# Written by tellmark-build --update DIR --enable-timer: the edition "
                           "tellmark-update.timer keeps current.\nTELLMARK_EDITION=\"" +
                               quoted + "\"\n"))
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError, "cannot write " + env.string() + ": " + std::strerror(errno)));
  const char* systemctl = std::getenv("TELLMARK_SYSTEMCTL");
  const std::string command = std::string(systemctl && *systemctl ? systemctl : "systemctl") +
                              " --user enable --now tellmark-update.timer";
  const int rc = std::system((command + " >/dev/null 2>&1").c_str());
  if (rc != 0) {
    std::fprintf(stderr,
                 "tellmark-build: %s names %s, but the timer could not be enabled; run "
                 "\"systemctl --user enable --now tellmark-update.timer\" in your session\n",
                 env.c_str(), dir.c_str());
    return;
  }
  if (!quiet)
    std::printf("tellmark-update.timer keeps %s current (weekly; %s)\n", dir.c_str(), env.c_str());
}

}  // namespace

bool NewerData(const TFccDownloadResult& d, const std::string& builtWeekly,
               const std::string& builtDaily) {
  // ISO dates compare as texts; an empty date is older than any.
  if (d.weeklyDay > builtWeekly) return true;
  if (d.weeklyDay < builtWeekly) return false;  // the edition has newer data than the cache
  return d.lastDailyDay > builtDaily;
}

TResult<TUpdateOutcome> Update(const TUpdateOptions& options, TBuildFunction build) {
  const fs::path dir = options.dir;
  const bool quiet = options.quiet;
  const fs::path fresh = dir.string() + ".update";
  TUpdateOutcome outcome;

  TProgressLine progress(!quiet && ::isatty(STDERR_FILENO));
  try {
    // A sibling left by a killed run holds a part-built or the replaced edition: never DIR's.
    std::error_code ec;
    fs::remove_all(fresh, ec);
    if (ec)
      return TStatus::WithMessage(TStatusCode::IOError,
                                  "cannot remove " + fresh.string() + ": " + ec.message());
    TBuildRecord rec;
    const bool recorded = ReadBuildRecord(dir.string(), rec);
    if (recorded && !options.buildOptions.empty()) {
      outcome.end = TUpdateOutcome::OptionsRefused;
      return outcome;
    }
    if (!recorded && fs::exists(dir) && !fs::is_empty(dir))
      return TStatus::InvalidArgument(dir.string() + " holds no build record (" + kBuildRecordName +
                                      "): name an empty or new folder for a new edition");
    if (recorded && rec.SourcesOf("--fcc").empty())
      return TStatus::InvalidArgument(
          dir.string() + " was not built from FCC data: --update has nothing to download");

    TFccDownloadOptions o;
    o.baseUrl = options.url;
    o.offline = options.offline;
    o.progress = [&](const std::string& file, uint64_t done, uint64_t total) {
      progress.Show("Downloading " + file, done, total, true);
    };
    const TFccDownloadResult d = DownloadFcc(o);
    progress.Clear();
    if (!quiet) {
      for (const auto& f : d.downloaded) std::printf("Downloaded %s\n", f.c_str());
      if (d.downloaded.empty()) std::printf("Nothing new to download\n");
    }

    // Up to date when the edition holds the newest files of the cache, whoever brought them
    // there (this run, a killed one, an update of another edition sharing the cache).
    if (recorded && fs::exists(dir / "data" / "edition.ini") &&
        !NewerData(d, rec.fccWeekly, rec.fccDaily)) {
      if (!quiet)
        std::printf("%s is up to date (%s)\n", dir.c_str(),
                    Dated(rec.fccWeekly, rec.fccDaily).c_str());
      if (options.enableTimer) EnableTimer(dir, quiet);
      return outcome;
    }
    if (!quiet && recorded && d.downloaded.empty())
      std::printf("The cache holds newer files than %s was built from (%s)\n", dir.c_str(),
                  Dated(rec.fccWeekly, rec.fccDaily).c_str());

    std::vector<std::string> args = {"tellmark-build"};
    if (recorded) {
      args.insert(args.end(), rec.options.begin(), rec.options.end());
      const auto others = rec.SourcesExcept({"--fcc", "--fcc-daily"});
      args.insert(args.end(), others.begin(), others.end());
    } else {
      args.insert(args.end(), options.buildOptions.begin(), options.buildOptions.end());
    }
    args.push_back("--fcc=" + d.weekly);
    for (const auto& f : d.daily) args.push_back("--fcc-daily=" + f);
    args.push_back("--out=" + fresh.string());
    args.push_back("--shown-out=" + dir.string());
    if (quiet) args.push_back("--quiet");
    std::vector<char*> argvBuild;
    for (auto& a : args) argvBuild.push_back(a.data());
    argvBuild.push_back(nullptr);
    const int rc = build(static_cast<int>(args.size()), argvBuild.data());
    if (rc != 0) {
      fs::remove_all(fresh, ec);
      outcome.end = TUpdateOutcome::BuildFailed;
      outcome.buildExitCode = rc;
      return outcome;
    }
    if (fs::exists(dir)) CarryOver(dir, fresh);
    Swap(fresh, dir);
    fs::remove_all(fresh, ec);  // the old edition
    if (ec)
      std::fprintf(stderr, "tellmark-build: warning: cannot remove the old edition %s: %s\n",
                   fresh.c_str(), ec.message().c_str());
    TBuildRecord now;
    ReadBuildRecord(dir.string(), now);
    if (!quiet)
      std::printf("%s updated (%s)\n", dir.c_str(), Dated(now.fccWeekly, now.fccDaily).c_str());
    outcome.end = TUpdateOutcome::Updated;
    if (options.enableTimer) EnableTimer(dir, quiet);
    return outcome;
  } catch (const EStatusError& e) {
    progress.Clear();
    return e.Status();
  } catch (const fs::filesystem_error& e) {
    progress.Clear();
    return TStatus::WithMessage(TStatusCode::IOError, e.what());
  }
}
