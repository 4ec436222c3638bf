#include "builder/UFccDownload.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "builder/UZipArchive.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"

namespace fs = std::filesystem;

namespace {

struct TCurlGlobal {
  TCurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~TCurlGlobal() { curl_global_cleanup(); }
};

// What the cache knows of a file: the validators of its last download.
struct TValidators {
  std::string etag, lastModified;
};

TValidators ReadValidators(const std::string& metaPath) {
  TValidators v;
  std::string text;
  if (!ReadWholeFile(metaPath, text)) return v;
  for (const std::string_view line : SplitLines(text)) {
    if (line.rfind("ETag: ", 0) == 0) v.etag = line.substr(6);
    if (line.rfind("Last-Modified: ", 0) == 0) v.lastModified = line.substr(15);
  }
  return v;
}

struct TTransfer {
  CURL* curl = nullptr;
  std::FILE* out = nullptr;
  TValidators got;
  const TFccDownloadOptions* options = nullptr;
  std::string name;
  uint64_t written = 0;
  bool writeFailed = false;
  std::string refused;  // why the body was refused as it arrived
};

size_t WriteBody(char* p, size_t size, size_t n, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const size_t bytes = size * n;
  curl_off_t announced = -1;
  curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  if (announced >= 0 && t->written + bytes > static_cast<uint64_t>(announced)) {
    t->refused =
        "the server sent more than the " + std::to_string(announced) + " bytes it announced";
    return 0;
  }
  if (t->written + bytes > t->options->maxBytes) {
    t->refused = "larger than " + std::to_string(t->options->maxBytes) + " bytes";
    return 0;
  }
  if (std::fwrite(p, 1, bytes, t->out) != bytes) {
    t->writeFailed = true;
    return 0;
  }
  t->written += bytes;
  return bytes;
}

size_t ReadHeader(char* p, size_t size, size_t n, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  std::string line(p, size * n);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  const auto colon = line.find(':');
  if (colon != std::string::npos) {
    const std::string key = AsciiLower(line.substr(0, colon));
    const std::string value = TrimBlanks(line.substr(colon + 1));
    if (key == "etag") t->got.etag = value;
    if (key == "last-modified") t->got.lastModified = value;
  } else if (line.rfind("HTTP/", 0) == 0) {
    t->got = TValidators{};  // a new response (after a redirect)
  }
  return size * n;
}

int Progress(void* user, curl_off_t total, curl_off_t done, curl_off_t, curl_off_t) {
  auto* t = static_cast<TTransfer*>(user);
  if (t->options->progress)
    t->options->progress(t->name, static_cast<uint64_t>(done), static_cast<uint64_t>(total));
  return 0;
}

enum class TFetched { New, Unchanged, Absent };

// Fetches base + remote into dir/name; the cached copy stays until a checked one replaces it.
TFetched Fetch(const TFccDownloadOptions& options, const std::string& dir, const std::string& url,
               const std::string& name, uint64_t& bytes) {
  const std::string path = dir + "/" + name, part = path + ".part", meta = path + ".meta";
  const bool cached = fs::exists(path);
  const TValidators have = cached ? ReadValidators(meta) : TValidators{};
  TTransfer t;
  t.options = &options;
  t.name = name;
  t.out = std::fopen(part.c_str(), "wb");
  if (!t.out)
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError, "cannot write " + part + ": " + std::string(std::strerror(errno))));
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  curl_slist* headers = nullptr;
  if (!have.etag.empty())
    headers = curl_slist_append(headers, ("If-None-Match: " + have.etag).c_str());
  if (!have.lastModified.empty())
    headers = curl_slist_append(headers, ("If-Modified-Since: " + have.lastModified).c_str());
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> headerList(headers, curl_slist_free_all);
  char error[CURL_ERROR_SIZE] = "";
  CURL* c = curl.get();
  t.curl = c;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
  // A stalled or crawling transfer ends rather than hangs; an announced body too large is
  // refused before it comes.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedLimit);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, options.lowSpeedTime);
  curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));
  curl_easy_setopt(c, CURLOPT_USERAGENT, "tellmark-build/" TELLMARK_VERSION);
  const CURLcode rc = curl_easy_perform(c);
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  const bool closed = std::fclose(t.out) == 0 && !t.writeFailed;
  t.out = nullptr;
  const auto drop = [&] { std::remove(part.c_str()); };
  if (rc != CURLE_OK) {
    drop();
    if (rc == CURLE_PARTIAL_FILE)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "the download of " + name + " was cut short after " +
                                    std::to_string(t.written) + " bytes (" + url + ")"));
    if (!t.refused.empty() || rc == CURLE_FILESIZE_EXCEEDED)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError,
          "the download of " + name + " was refused: " +
              (t.refused.empty()
                   ? "the server announced more than " + std::to_string(options.maxBytes) + " bytes"
                   : t.refused) +
              " (" + url + ")"));
    if (rc == CURLE_OPERATION_TIMEDOUT && status != 0)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "the download of " + name + " was given up: slower than " +
                                    std::to_string(options.lowSpeedLimit) + " bytes/s for " +
                                    std::to_string(options.lowSpeedTime) + " s (" +
                                    std::to_string(t.written) + " bytes came; " + url + ")"));
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError, "cannot download " + url + ": " +
                                  (error[0] ? std::string(error) : curl_easy_strerror(rc))));
  }
  if (status == 304 && cached) {
    drop();
    return TFetched::Unchanged;
  }
  if (status == 404 || status == 410) {
    drop();
    return TFetched::Absent;
  }
  if (status != 200) {
    drop();
    throw EStatusError(TStatus::WithMessage(
        TStatusCode::IOError,
        "cannot download " + url + ": the server answered " + std::to_string(status)));
  }
  if (!closed) {
    drop();
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                            "cannot write " + part + ": " + std::strerror(errno)));
  }
  try {
    CheckFccArchive(part, name + " (downloaded from " + url + ")");
  } catch (...) {
    drop();
    throw;
  }
  // The file first, then its validators: a kill between leaves old validators, which only
  // cost one more download.
  if (::rename(part.c_str(), path.c_str()) != 0)
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                            "cannot rename " + part + ": " + std::strerror(errno)));
  std::string metaText;
  if (!t.got.etag.empty()) metaText += "ETag: " + t.got.etag + "\n";
  if (!t.got.lastModified.empty()) metaText += "Last-Modified: " + t.got.lastModified + "\n";
  metaText += "URL: " + url + "\n";
  if (!WriteFileAtomically(meta, metaText))
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                            "cannot write " + meta + ": " + std::strerror(errno)));
  bytes += t.written;
  return TFetched::New;
}

}  // namespace

std::string FccCacheDir() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home)
      throw EStatusError(TStatus::InvalidArgument("neither XDG_CACHE_HOME nor HOME is set"));
    base = std::string(home) + "/.cache";
  }
  return base + "/tellmark/fcc";
}

void CheckFccArchive(const std::string& path, const std::string& shown) {
  const char* missing = nullptr;
  try {
    TZipArchive zip(path);
    for (const char* member : {"HD.dat", "EN.dat", "AM.dat"}) {
      const TZipMember* m = zip.Find(member);
      if (!m) {
        missing = member;
        break;
      }
      zip.Read(*m, [](const char*, size_t) {});
    }
  } catch (const EStatusError& e) {
    throw EStatusError(e.Status().WithContext(shown));
  }
  if (missing) throw EStatusError(TStatus::NotFound(shown + " holds no " + missing));
}

std::string FccArchiveDay(const std::string& path) {
  TZipArchive zip(path);
  const TZipMember* hd = zip.Find("HD.dat");
  if (!hd) throw EStatusError(TStatus::NotFound(path + " holds no HD.dat"));
  std::tm tm{};
  ::localtime_r(&hd->modified, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
  return buf;
}

TFccDownloadResult DownloadFcc(const TFccDownloadOptions& options) {
  static TCurlGlobal global;
  // Normalised: the build record compares these paths with those of the last update.
  fs::path cache =
      fs::path(options.cacheDir.empty() ? FccCacheDir() : options.cacheDir).lexically_normal();
  if (cache.filename().empty() && cache.has_relative_path()) cache = cache.parent_path();
  const std::string dir = cache.string();
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec)
    throw EStatusError(
        TStatus::WithMessage(TStatusCode::IOError, "cannot create " + dir + ": " + ec.message()));
  std::string base = options.baseUrl;
  if (base.empty() || base.back() != '/') base += '/';

  TFccDownloadResult r;
  const auto get = [&](const std::string& remote, const std::string& name) {
    const std::string path = dir + "/" + name;
    if (options.offline) return fs::exists(path) ? TFetched::Unchanged : TFetched::Absent;
    const TFetched f = Fetch(options, dir, base + remote, name, r.bytes);
    if (f == TFetched::New) r.downloaded.push_back(name);
    return f;
  };
  if (get(std::string("complete/") + kFccWeeklyName, kFccWeeklyName) == TFetched::Absent)
    throw EStatusError(TStatus::NotFound(
        options.offline ? std::string("no ") + kFccWeeklyName + " in " + dir +
                              " (--offline uses the cache only)"
                        : std::string("the server has no ") + base + "complete/" + kFccWeeklyName));
  // Cached copies were checked when they came; the importer names any damage since.
  r.weekly = dir + "/" + kFccWeeklyName;
  r.weeklyDay = FccArchiveDay(r.weekly);

  std::vector<std::pair<std::string, std::string>> daily;  // day, path
  for (const char* name : kFccDailyNames) {
    const std::string path = dir + "/" + name;
    if (get(std::string("daily/") + name, name) == TFetched::Absent) {
      // Not published (any more): an older cached copy must not be applied.
      std::remove(path.c_str());
      std::remove((path + ".meta").c_str());
      continue;
    }
    const std::string day = FccArchiveDay(path);
    // Older ones are last week's, in the weekly file already.
    if (day >= r.weeklyDay) daily.emplace_back(day, path);
  }
  std::stable_sort(daily.begin(), daily.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (!daily.empty()) r.lastDailyDay = daily.back().first;
  for (auto& d : daily) r.daily.push_back(std::move(d.second));
  return r;
}
