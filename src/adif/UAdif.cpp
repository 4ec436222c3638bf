#include "adif/UAdif.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr size_t kMaxNameLength = 256;
constexpr size_t kMaxTypeLength = 16;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// A character of a field name: printable ASCII but the ADIF delimiters.
bool IsNameChar(char c) {
  return c > ' ' && c < 127 && c != ':' && c != '<' && c != '>' && c != ',' && c != '{' && c != '}';
}

enum class TTagKind { Text, Field, Eor, Eoh, Bad };

struct TTag {
  TTagKind kind = TTagKind::Text;
  std::string_view name, type;
  size_t length = 0;      // the length as written
  size_t valueBegin = 0;  // offset after ">"
  std::string problem;    // kind Bad
};

// The tag at text[lt] == '<'. Text: no tag (free text such as "<name@host>").
TTag ParseTag(std::string_view text, size_t lt) {
  TTag t;
  size_t i = lt + 1;
  const size_t nameBegin = i;
  if (i >= text.size() || !IsAsciiLetter(text[i])) return t;
  while (i < text.size() && IsNameChar(text[i]) && i - nameBegin < kMaxNameLength) ++i;
  if (i >= text.size()) return t;
  t.name = text.substr(nameBegin, i - nameBegin);
  if (text[i] == '>') {
    if (SameName(t.name, "EOR")) t.kind = TTagKind::Eor;
    if (SameName(t.name, "EOH")) t.kind = TTagKind::Eoh;
    t.valueBegin = i + 1;
    return t;
  }
  if (text[i] != ':') return t;
  ++i;
  const size_t digits = i;
  size_t length = 0;
  bool huge = false;
  while (i < text.size() && IsDigit(text[i])) {
    if (length > 100000000000ULL) huge = true;
    if (!huge) length = length * 10 + static_cast<size_t>(text[i] - '0');
    ++i;
  }
  t.kind = TTagKind::Bad;
  if (i == digits) {
    t.problem = i < text.size() && text[i] == '-' ? "negative length in <" + std::string(t.name)
                                                  : "no length in <" + std::string(t.name);
    return t;
  }
  if (i < text.size() && text[i] == ':') {
    const size_t typeBegin = ++i;
    while (i < text.size() && IsNameChar(text[i]) && i - typeBegin <= kMaxTypeLength) ++i;
    t.type = text.substr(typeBegin, i - typeBegin);
  }
  if (i >= text.size() || text[i] != '>') {
    t.problem = "bad tag <" + std::string(t.name);
    return t;
  }
  t.valueBegin = i + 1;
  t.length = length;
  if (huge || length > text.size() - t.valueBegin) {
    t.problem = "the length " +
                std::string(text.substr(digits, std::min<size_t>(i, digits + 20) - digits)) +
                " of <" + std::string(t.name) + "> runs past the end of the file";
    return t;
  }
  t.kind = TTagKind::Field;
  return t;
}

// True when a field, <EOR> or <EOH> (or the end) follows at p, after blanks.
bool LandsOnTag(std::string_view text, size_t p) {
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p >= text.size()) return true;
  if (text[p] != '<') return false;
  const TTagKind k = ParseTag(text, p).kind;
  return k == TTagKind::Field || k == TTagKind::Eor || k == TTagKind::Eoh;
}

// Bytes of n UTF-8 characters from p; npos when they are not well-formed or run past the end.
size_t Utf8Bytes(std::string_view text, size_t p, size_t n) {
  size_t i = p;
  for (size_t k = 0; k < n; ++k) {
    if (i >= text.size()) return std::string_view::npos;
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t len = c < 0x80             ? 1
                       : (c & 0xE0) == 0xC0 ? 2
                       : (c & 0xF0) == 0xE0 ? 3
                       : (c & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (len == 0 || len > text.size() - i) return std::string_view::npos;
    for (size_t j = 1; j < len; ++j)
      if ((static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) return std::string_view::npos;
    i += len;
  }
  return i - p;
}

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

std::string AdifProblemText(const TAdifProblem& p) {
  return (p.record == 0 ? std::string("header") : "record " + std::to_string(p.record)) +
         ", byte " + std::to_string(p.offset) + ": " + p.text;
}

TAdifLog TAdifLog::Parse(std::string text) {
  TAdifLog log;
  log.text_ = std::move(text);
  const std::string_view s = log.text_;
  size_t pos = s.substr(0, kBom.size()) == kBom ? kBom.size() : 0;
  std::vector<TAdifField> cur;
  size_t curBegin = std::string_view::npos;
  bool damaged = false;
  size_t segmentProblems = 0;  // problems of the current record so far
  const auto problem = [&](size_t offset, std::string what) {
    log.problems_.push_back({log.records_.size() + 1, offset, std::move(what)});
    ++segmentProblems;
    damaged = true;
  };
  const auto closeRecord = [&](size_t eor, size_t end) {
    TAdifRecord r;
    r.begin = curBegin == std::string_view::npos ? eor : curBegin;
    r.eor = eor;
    r.end = end;
    // Bytes no text holds: the record is damaged.
    for (size_t i = r.begin; i < r.eor; ++i) {
      const auto c = static_cast<unsigned char>(s[i]);
      if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
        problem(i, "binary byte " + std::to_string(c));
        break;
      }
    }
    r.sound = !damaged;
    const size_t count = cur.size();
    r.fields = std::move(cur);
    log.records_.push_back(std::move(r));
    cur.clear();
    cur.reserve(count);  // the next record is likely as long
    curBegin = std::string_view::npos;
    damaged = false;
    segmentProblems = 0;
  };
  bool fatal = false;
  while (pos < s.size()) {
    const size_t lt = s.find('<', pos);
    if (lt == std::string_view::npos) break;
    const TTag t = ParseTag(s, lt);
    switch (t.kind) {
      case TTagKind::Text:
        pos = lt + 1;
        break;
      case TTagKind::Bad:
        if (curBegin == std::string_view::npos) curBegin = lt;
        problem(lt, t.problem);
        pos = lt + 1;
        if (t.valueBegin != 0) fatal = true;  // a length past the end: nothing after it is sound
        break;
      case TTagKind::Eoh:
        if (log.headerEnd_ == 0 && log.records_.empty()) {
          // Text before <EOH> is the header: what looked like damage there is free text.
          log.problems_.resize(log.problems_.size() - segmentProblems);
          segmentProblems = 0;
          damaged = false;
          log.header_ = std::move(cur);
          cur.clear();
          curBegin = std::string_view::npos;
          log.headerEnd_ = t.valueBegin;
        } else {
          if (curBegin == std::string_view::npos) curBegin = lt;
          problem(lt, "<EOH> after the header");
        }
        pos = t.valueBegin;
        break;
      case TTagKind::Eor:
        if (!cur.empty() || damaged) closeRecord(lt, t.valueBegin);
        pos = t.valueBegin;
        break;
      case TTagKind::Field: {
        TAdifField f;
        f.name = std::string(t.name);
        f.type = std::string(t.type);
        f.tag = lt;
        f.value = t.valueBegin;
        f.length = t.length;
        const std::string_view bytes = s.substr(f.value, f.length);
        if (std::any_of(bytes.begin(), bytes.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
          // Non-ASCII text: the length may count characters. The reading that lands on the
          // next tag wins; the byte count when both or neither do.
          const size_t chars = Utf8Bytes(s, f.value, t.length);
          if (chars != std::string_view::npos && chars != f.length &&
              !LandsOnTag(s, f.value + f.length) && LandsOnTag(s, f.value + chars)) {
            f.length = chars;
            log.countsCharacters_ = true;
          }
        }
        if (curBegin == std::string_view::npos) curBegin = lt;
        pos = f.End();
        cur.push_back(std::move(f));
        break;
      }
    }
    if (fatal) break;
  }
  if (!cur.empty() || damaged) {
    if (!fatal) problem(curBegin, "no <EOR> at the end of the file");
    closeRecord(s.size(), s.size());
    log.records_.back().sound = false;
  }
  return log;
}

size_t TAdifLog::DamagedRecords() const {
  return static_cast<size_t>(
      std::count_if(records_.begin(), records_.end(), [](const auto& r) { return !r.sound; }));
}

const TAdifField* TAdifLog::Find(const TAdifRecord& r, std::string_view name) const {
  for (const TAdifField& f : r.fields)
    if (SameName(f.name, name)) return &f;
  return nullptr;
}

std::string_view TAdifLog::FieldText(const TAdifRecord& r, std::string_view name) const {
  const TAdifField* f = Find(r, name);
  if (!f) return {};
  std::string_view v = Value(*f);
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
  return v;
}

std::string AdifField(std::string_view name, std::string_view value, bool chars) {
  return "<" + std::string(name) + ":" + std::to_string(chars ? Utf8Length(value) : value.size()) +
         ">" + std::string(value);
}

namespace {

bool IsAscii(std::string_view v) {
  return std::none_of(v.begin(), v.end(),
                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Whether value, written with its length in characters and followed by a tag, reads back whole:
// its length read as bytes must not land on a tag (no "<" in it, no blank at its end).
bool CharsReadBack(std::string_view value) {
  return value.find('<') == std::string_view::npos && !value.empty() && !IsBlank(value.back());
}

// The length to write for value in log, where what follows lands on a tag.
size_t LengthToWrite(const TAdifLog& log, std::string_view value) {
  return log.CountsCharacters() && !IsAscii(value) && CharsReadBack(value) ? Utf8Length(value)
                                                                           : value.size();
}

void AppendNumber(std::string& out, size_t n) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, res.ptr);
}

}  // namespace

bool AdifCanFillField(const TAdifLog& log, const TAdifField* f, std::string_view value) {
  if (!f) return true;  // added before <EOR>: a tag follows it
  std::string_view v = log.Value(*f);
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  if (!v.empty()) return false;  // a value is never changed
  // In place, the text after the field follows the value. Its length in bytes reads back when a
  // tag follows, or when the reading in characters does not land on one either.
  const std::string_view s = log.Text();
  if (IsAscii(value) || LandsOnTag(s, f->End())) return true;
  const size_t more = Utf8Bytes(s, f->End(), value.size() - Utf8Length(value));
  return more == std::string_view::npos || !LandsOnTag(s, f->End() + more);
}

bool AdifCanFill(const TAdifLog& log, const TAdifRecord& r, std::string_view name,
                 std::string_view value) {
  return r.sound && AdifCanFillField(log, log.Find(r, name), value);
}

TAdifWriter::TAdifWriter(const TAdifLog& log, size_t extra) : log_(log) {
  out_.reserve(log.Text().size() + extra);
}

void TAdifWriter::Fill(size_t ri, const TAdifFillView* fills, size_t n) {
  const std::string_view s = log_.Text();
  const auto& records = log_.Records();
  if (n == 0 || ri >= records.size() || !records[ri].sound || pos_ > records[ri].begin) return;
  const TAdifRecord& r = records[ri];
  inPlace_.clear();
  added_.clear();
  for (size_t fi = 0; fi < n; ++fi) {
    const TAdifField* f = fills[fi].field;
    if (!fills[fi].checked) {
      f = log_.Find(r, fills[fi].name);
      if (!AdifCanFillField(log_, f, fills[fi].value)) continue;
    }
    if (f)
      inPlace_.emplace_back(f, fills[fi].value);
    else
      added_.emplace_back(fills[fi].name, fills[fi].value);
  }
  std::stable_sort(inPlace_.begin(), inPlace_.end(),
                   [](const auto& a, const auto& b) { return a.first->tag < b.first->tag; });
  for (const auto& [f, value] : inPlace_) {
    if (f->tag < pos_) continue;  // the same field twice: the first value
    out_.append(s.substr(pos_, f->tag - pos_));
    // In characters only where a tag follows.
    const size_t length = LandsOnTag(s, f->End()) ? LengthToWrite(log_, value) : value.size();
    out_ += '<';
    out_ += f->name;
    out_ += ':';
    AppendNumber(out_, length);
    if (!f->type.empty()) {
      out_ += ':';
      out_ += f->type;
    }
    out_ += '>';
    out_ += value;
    pos_ = f->End();
  }
  if (added_.empty()) return;
  out_.append(s.substr(pos_, r.eor - pos_));
  pos_ = r.eor;
  // A record that writes its names in lower case gets new names in lower case.
  bool lower = !r.fields.empty();
  for (const TAdifField& f : r.fields)
    if (std::any_of(f.name.begin(), f.name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
      lower = false;
  // The record's own separator: the blanks before its <EOR>.
  const size_t gapBegin = r.fields.empty() ? r.begin : r.fields.back().End();
  size_t sepBegin = r.eor;
  while (sepBegin > gapBegin && IsBlank(s[sepBegin - 1])) --sepBegin;
  const std::string_view sep = s.substr(sepBegin, r.eor - sepBegin);
  for (const auto& [name, value] : added_) {
    out_ += '<';
    if (lower)
      for (char c : name) out_ += c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    else
      out_ += name;
    out_ += ':';
    AppendNumber(out_, LengthToWrite(log_, value));
    out_ += '>';
    out_ += value;
    out_ += sep;
  }
}

std::string TAdifWriter::Finish() {
  out_.append(log_.Text().substr(pos_));
  pos_ = log_.Text().size();
  return std::move(out_);
}

std::string WriteAdifViews(const TAdifLog& log, const std::vector<TAdifFillView>& fills) {
  size_t extra = 0;
  for (const TAdifFillView& f : fills) extra += f.name.size() + f.value.size() + 16;
  TAdifWriter w(log, extra);
  for (size_t fi = 0; fi < fills.size();) {
    size_t next = fi;
    while (next < fills.size() && fills[next].record == fills[fi].record) ++next;
    w.Fill(fills[fi].record, fills.data() + fi, next - fi);
    fi = next;
  }
  return w.Finish();
}

std::string WriteAdif(const TAdifLog& log, const TAdifFills& fills) {
  std::vector<TAdifFillView> views;
  for (size_t ri = 0; ri < fills.size() && ri < log.Records().size(); ++ri)
    for (const auto& [name, value] : fills[ri]) views.push_back({ri, name, value});
  return WriteAdifViews(log, views);
}
