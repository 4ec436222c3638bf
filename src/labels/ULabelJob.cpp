#include "labels/ULabelJob.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UDataSet.h"

namespace {
constexpr size_t kCallColumn = 15;
}  // namespace

std::string ReportLineCall(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line.substr(0, kCallColumn));
}

bool TReportLineReader::Open(const std::string& path) {
  Close();
  in_.open(path, std::ios::binary);
  if (!in_.is_open()) {
    SetLastErrorCode(IOCodeFromErrno(errno));
    return false;
  }
  return true;
}

void TReportLineReader::Close() {
  if (in_.is_open()) in_.close();
  in_.clear();
  pending_ = false;
  linesRead_ = 0;
}

bool TReportLineReader::Current(std::string& call) {
  if (!pending_) {
    if (!in_.is_open() || in_.peek() == std::char_traits<char>::eof()) return false;
    // One character past the column, so that a carriage return right after it is seen; the
    // rest of a long line is skipped unread.
    std::string head;
    for (int c; head.size() <= kCallColumn && (c = in_.get()) != std::char_traits<char>::eof() &&
                c != '\n';)
      head += static_cast<char>(c);
    if (head.size() > kCallColumn) in_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    call_ = ReportLineCall(head);
    pending_ = true;
    ++linesRead_;
  }
  call = call_;
  return true;
}

TFindCallResult FindCallEntry(std::string_view text, TEntryRecord& rec) {
  const std::string key = MakeSearchKey(oiIntlCall, TrimBlanks(text.substr(0, 15)));
  if (key.empty()) return TFindCallResult::NotFound;
  const bool usFirst = BeginsAsUSCall(key);
  const int order[2] = {usFirst ? oiUSCall : oiIntlCall, usFirst ? oiIntlCall : oiUSCall};
  for (const int index : order) {
    bool exact = false;
    int32_t ref = -1;
    if (!SearchIndex(index, MakeSearchKey(index, TrimBlanks(text.substr(0, 15))), exact, ref))
      return TFindCallResult::IOError;
    if (!exact) continue;
    if (!ReadRecord(index == oiUSCall ? TDatabase::US : TDatabase::Intl, ref, rec))
      return TFindCallResult::IOError;
    return TFindCallResult::Found;
  }
  return TFindCallResult::NotFound;
}

int JobProgress(int64_t linesRead, int64_t totalLines) {
  if (totalLines <= 0) return 0;
  const double p =
      std::round(static_cast<double>(linesRead) * 100.0 / static_cast<double>(totalLines));
  return static_cast<int>(std::clamp(p, 0.0, 100.0));
}

std::string CallNotFoundQuestion(std::string_view call15, int64_t line) {
  return "Can't find call (" + std::string(call15) + "), line " + std::to_string(line) + ".\n" +
         "Ignore this kind of error next times?";
}

std::string LabelTooLargeQuestion(std::string_view call15, int64_t line) {
  return "Data of entry (" + std::string(call15) + "), line " + std::to_string(line) +
         ", exceeds selected label dimensions. \nIgnore this kind error next times?";
}
