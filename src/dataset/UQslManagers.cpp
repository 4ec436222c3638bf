#include "dataset/UQslManagers.h"

#include <algorithm>

#include "common/StrUtil.h"

namespace {

struct TQslField {
  int offset;
  int size;  // length byte included
};
constexpr TQslField kFields[kQslColumns] = {{0, 14}, {14, 14}, {28, 16}, {44, 9}};

std::string ShortString(const uint8_t* bytes, TQslField f) {
  const int len = std::min<int>(bytes[f.offset], f.size - 1);
  return std::string(reinterpret_cast<const char*>(bytes + f.offset + 1), static_cast<size_t>(len));
}

[[noreturn]] void Fail(int code) {
  std::string text = ErrorCodeText(code);
  const std::string why = RunErrorText(code);
  if (!why.empty()) text += " (" + why + ")";
  throw EQslFileError(text);
}

}  // namespace

TQslRecord DecodeQslRecord(const uint8_t* bytes) {
  TQslRecord r;
  r.call = ShortString(bytes, kFields[0]);
  r.manager = ShortString(bytes, kFields[1]);
  r.info = ShortString(bytes, kFields[2]);
  r.date = ShortString(bytes, kFields[3]);
  return r;
}

std::string QslDateText(std::string_view date) {
  if (date.size() != 8) return std::string(date);
  std::string s(date);
  s.insert(4, "/");
  s.insert(2, "/");
  return s;
}

std::string QslLookupCall(std::string_view managerCall) {
  std::string s(managerCall);
  std::replace(s.begin(), s.end(), '0', '<');
  return Cut(s, kQslLookupCallLen);
}

int32_t QslManagerRecordNumber(std::string_view field) { return NumberFieldValue(field); }

void TQslManagerFile::Open(const std::string& path) {
  Close();
  if (!file_.Open(path)) Fail(LastErrorCode());
  recordCount_ = static_cast<int32_t>(std::min<int64_t>(file_.Size() / kQslRecordSize, INT32_MAX));
  reads_ = 0;
}

void TQslManagerFile::Close() {
  if (file_.IsOpen()) {
    const int saved = LastErrorCode();
    file_.Close();
    SetLastErrorCode(saved);
  }
  recordCount_ = 0;
  cachedNr_ = -1;
  cached_ = {};
}

const TQslRecord& TQslManagerFile::Record(int32_t nr) {
  if (nr == cachedNr_ && nr >= 0) return cached_;
  if (!file_.IsOpen()) Fail(103);
  if (nr < 0 || nr >= recordCount_) {
    SetLastErrorCode(100);
    Fail(100);
  }
  uint8_t bytes[kQslRecordSize];
  ++reads_;
  if (!file_.ReadExact(static_cast<int64_t>(nr) * kQslRecordSize, bytes, kQslRecordSize))
    Fail(LastErrorCode());
  cached_ = DecodeQslRecord(bytes);
  cachedNr_ = nr;
  return cached_;
}

std::string TQslManagerFile::CellText(int col, int32_t row) {
  if (col < 0 || col >= kQslColumns) return {};
  if (row == 0) return kQslHeadings[col];
  if (row < 0 || row >= recordCount_) return {};
  const TQslRecord& r = Record(row);
  switch (col) {
    case 0:
      return r.call;
    case 1:
      return r.manager;
    case 2:
      return r.info;
    default:
      return QslDateText(r.date);
  }
}

std::string TQslManagerFile::LookupCallOfRow(int32_t row) {
  if (row < 1 || row >= recordCount_) return {};
  return QslLookupCall(Record(row).manager);
}
