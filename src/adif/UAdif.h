#pragma once
// ADIF logs (.adi): read, and written back with fields added, keeping every byte of the file
// that is not filled. The reader takes what other programs write: names in any case, lengths in
// bytes or (for UTF-8 text) in characters, a byte-order mark, a free-text header, text between
// fields. It never reads past the text and reports damage by record number and byte offset.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct TAdifField {
  std::string name;   // as written ("QSO_Date")
  std::string type;   // the type indicator as written; empty when none
  size_t tag = 0;     // offset of its "<"
  size_t value = 0;   // offset of its value
  size_t length = 0;  // the value's bytes
  size_t End() const { return value + length; }
};

struct TAdifRecord {
  std::vector<TAdifField> fields;
  size_t begin = 0;   // offset of its first field
  size_t eor = 0;     // offset of its <EOR> (the end of the text when it has none)
  size_t end = 0;     // offset after its <EOR>
  bool sound = true;  // false: damaged; written back as it is, never filled
};

struct TAdifProblem {
  size_t record = 0;  // 1-based number of the record; 0 = the header
  size_t offset = 0;  // byte offset in the file
  std::string text;
};

// "record 3, byte 120: <text>" ("header, byte 12: ..." for the header).
std::string AdifProblemText(const TAdifProblem& p);

class TAdifLog {
 public:
  // Reads text (the whole file). Never throws for bad input: damage goes to Problems().
  static TAdifLog Parse(std::string text);

  const std::string& Text() const { return text_; }
  bool HasHeader() const { return headerEnd_ > 0; }
  size_t HeaderEnd() const { return headerEnd_; }  // offset after <EOH>; 0 when no header
  const std::vector<TAdifField>& HeaderFields() const { return header_; }
  const std::vector<TAdifRecord>& Records() const { return records_; }
  const std::vector<TAdifProblem>& Problems() const { return problems_; }
  size_t DamagedRecords() const;
  // True when some UTF-8 value was written with its length in characters: added values are
  // then counted the same way.
  bool CountsCharacters() const { return countsCharacters_; }

  std::string_view Value(const TAdifField& f) const {
    return std::string_view(text_).substr(f.value, f.length);
  }
  // The first field of r named name (any case); null when none.
  const TAdifField* Find(const TAdifRecord& r, std::string_view name) const;
  // The value of that field without outer blanks; empty when none.
  std::string_view FieldText(const TAdifRecord& r, std::string_view name) const;

 private:
  std::string text_;
  size_t headerEnd_ = 0;
  std::vector<TAdifField> header_;
  std::vector<TAdifRecord> records_;
  std::vector<TAdifProblem> problems_;
  bool countsCharacters_ = false;
};

// Values to put into records: per record index, (name, value) pairs.
using TAdifFills = std::vector<std::vector<std::pair<std::string, std::string>>>;

// The log's text with the fills written in: a field present with an empty value gets the value
// (its name and type as written), a missing one is added before the record's <EOR>, with the
// record's own separator and, when the record writes its names in lower case, in lower case.
// Every other byte is kept. Damaged records are not changed.
std::string WriteAdif(const TAdifLog& log, const TAdifFills& fills);

// One value to put into a record; the texts must outlive the WriteAdifViews call.
struct TAdifFillView {
  size_t record = 0;  // index in Records()
  std::string_view name, value;
  // Set when the caller found AdifCanFillField true for field, the record's first field of
  // name (null: none); the writer then takes it as it is.
  bool checked = false;
  const TAdifField* field = nullptr;
};

// As WriteAdif, the fills given as views in record order (the fills of a record in the order
// WriteAdif takes them).
std::string WriteAdifViews(const TAdifLog& log, const std::vector<TAdifFillView>& fills);

// WriteAdifViews record by record: Fill for each record with fills, in record order, then Finish.
class TAdifWriter {
 public:
  // extra: bytes the fills are expected to add (room reserved).
  explicit TAdifWriter(const TAdifLog& log, size_t extra = 0);
  // The fills of record ri (their record members are not read).
  void Fill(size_t ri, const TAdifFillView* fills, size_t n);
  // The whole text; the writer is spent.
  std::string Finish();

 private:
  const TAdifLog& log_;
  std::string out_;
  size_t pos_ = 0;  // bytes of the log's text written
  std::vector<std::pair<const TAdifField*, std::string_view>> inPlace_;
  std::vector<std::pair<std::string_view, std::string_view>> added_;
};

// Whether WriteAdif fills name with value in r: the record is sound, the field is missing or
// empty, and the value written there reads back whole (in place, a non-ASCII value followed by
// text that is no tag could be read with another length: such a field stays empty).
bool AdifCanFill(const TAdifLog& log, const TAdifRecord& r, std::string_view name,
                 std::string_view value);

// AdifCanFill for a sound record whose first field of the name is f (null: none).
bool AdifCanFillField(const TAdifLog& log, const TAdifField* f, std::string_view value);

// One field as written: "<NAME:3>abc"; the length counted in characters when chars is set.
std::string AdifField(std::string_view name, std::string_view value, bool chars = false);
