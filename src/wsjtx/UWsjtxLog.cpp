#include "wsjtx/UWsjtxLog.h"

#include <sys/stat.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "adif/UAdif.h"

namespace wsjtx {

namespace {

std::string UpperText(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  std::string out(s.substr(b, e - b));
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::optional<int> Number(std::string_view s) {
  const std::string t = UpperText(s);
  int v = 0;
  const auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || p != t.data() + t.size() || t.empty()) return std::nullopt;
  return v;
}

// The ADIF band enumeration, limits in kHz.
struct TBand {
  const char* name;
  double lowKHz, highKHz;
};
constexpr TBand kBands[] = {
    {"2190m", 135.7, 137.8},
    {"630m", 472, 479},
    {"560m", 501, 504},
    {"160m", 1800, 2000},
    {"80m", 3500, 4000},
    {"60m", 5060, 5450},
    {"40m", 7000, 7300},
    {"30m", 10100, 10150},
    {"20m", 14000, 14350},
    {"17m", 18068, 18168},
    {"15m", 21000, 21450},
    {"12m", 24890, 24990},
    {"10m", 28000, 29700},
    {"8m", 40000, 45000},
    {"6m", 50000, 54000},
    {"5m", 54000.001, 69900},
    {"4m", 70000, 71000},
    {"2m", 144000, 148000},
    {"1.25m", 222000, 225000},
    {"70cm", 420000, 450000},
    {"33cm", 902000, 928000},
    {"23cm", 1240000, 1300000},
    {"13cm", 2300000, 2450000},
    {"9cm", 3300000, 3500000},
    {"6cm", 5650000, 5925000},
    {"3cm", 10000000, 10500000},
    {"1.25cm", 24000000, 24250000},
    {"6mm", 47000000, 47200000},
    {"4mm", 75500000, 81000000},
    {"2.5mm", 119980000, 123000000},
    {"2mm", 134000000, 149000000},
    {"1mm", 241000000, 250000000},
};

std::string LowerText(std::string_view s) {
  std::string out = UpperText(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string BandOfFrequency(uint64_t hz) {
  const double khz = static_cast<double>(hz) / 1000.0;
  for (const TBand& b : kBands)
    if (khz >= b.lowKHz && khz <= b.highKHz) return b.name;
  return {};
}

std::string LogMode(std::string_view mode, std::string_view submode) {
  const std::string m = UpperText(mode), s = UpperText(submode);
  if (m == "MFSK" && !s.empty()) return s;
  return m;
}

std::string ModeOfMark(std::string_view mark) {
  static const std::pair<const char*, const char*> kMarks[] = {
      {"~", "FT8"},    {"+", "FT4"}, {"#", "JT65"}, {"@", "JT9"},
      {"&", "MSK144"}, {":", "Q65"}, {"`", "FST4"}, {"$", "JT4"}};
  for (const auto& [m, name] : kMarks)
    if (mark == m) return name;
  return {};
}

bool CountsUSStates(std::optional<int> dxcc) {
  return dxcc && (*dxcc == 291 || *dxcc == 6 || *dxcc == 110);
}

void TWorkedLog::Clear() {
  contacts_ = skipped_ = 0;
  worked_.clear();
  entities_.clear();
  zones_.clear();
  states_.clear();
  counties_.clear();
  grids_.clear();
}

void TWorkedLog::Add(const TWorkedContact& c) {
  ++contacts_;
  if (!c.call.empty()) worked_.insert(c.call + ' ' + c.band + ' ' + c.mode);
  if (c.dxcc) entities_.insert(*c.dxcc);
  if (c.cqZone) zones_.insert(*c.cqZone);
  if (!c.state.empty()) states_.insert(c.state);
  if (!c.county.empty()) counties_.insert(c.county);
  if (!c.grid4.empty()) grids_.insert(c.grid4);
}

bool TWorkedLog::Worked(std::string_view call, std::string_view band, std::string_view mode) const {
  return worked_.count(UpperText(call) + ' ' + LowerText(band) + ' ' + UpperText(mode)) > 0;
}

std::optional<TWorkedContact> TWorkedLog::ContactOf(std::string_view call, std::string_view band,
                                                    std::string_view freqMHz, std::string_view mode,
                                                    std::string_view submode, std::string_view dxcc,
                                                    std::string_view state, std::string_view county,
                                                    std::string_view grid, std::string_view cqz,
                                                    const TCallRecordSource& source) {
  TWorkedContact c;
  c.call = UpperText(call);
  if (c.call.empty()) return std::nullopt;
  c.band = LowerText(band);
  if (c.band.empty() && !freqMHz.empty()) {
    const std::string f = UpperText(freqMHz);
    char* end = nullptr;
    const double mhz = std::strtod(f.c_str(), &end);
    if (end && *end == '\0' && std::isfinite(mhz) && mhz > 0 && mhz < 1e6)
      c.band = BandOfFrequency(static_cast<uint64_t>(std::llround(mhz * 1e6)));
  }
  c.mode = LogMode(mode, submode);
  c.dxcc = Number(dxcc);
  c.cqZone = Number(cqz);
  c.state = UpperText(state);
  c.county = UpperText(county);
  const std::string g = UpperText(grid);
  if (g.size() >= 4) c.grid4 = g.substr(0, 4);
  // Fields the log leaves out come from the directory entry of the call.
  if ((!c.dxcc || !c.cqZone || c.state.empty() || c.county.empty() || c.grid4.empty()) && source) {
    if (const std::optional<TCallbookRecord> r = source(c.call)) {
      const bool sameEntity = !c.dxcc || (r->dxccCode && *r->dxccCode == *c.dxcc);
      if (!c.dxcc) c.dxcc = r->dxccCode;
      if (sameEntity) {
        if (!c.cqZone) c.cqZone = r->cqZone;
        if (CountsUSStates(c.dxcc)) {
          if (c.state.empty()) c.state = UpperText(r->state);
          if (c.county.empty() && !r->county.empty() && UpperText(r->state) == c.state)
            c.county = c.state + ',' + UpperText(r->county);
        }
      }
    }
  }
  if (!CountsUSStates(c.dxcc)) c.state.clear(), c.county.clear();
  return c;
}

void TWorkedLog::AddAdif(std::string_view text, const TCallRecordSource& source) {
  const TAdifLog log = TAdifLog::Parse(std::string(text));
  for (const TAdifRecord& r : log.Records()) {
    if (!r.sound) {
      ++skipped_;
      continue;
    }
    const auto f = [&](const char* name) { return log.FieldText(r, name); };
    if (auto c = ContactOf(f("CALL"), f("BAND"), f("FREQ"), f("MODE"), f("SUBMODE"), f("DXCC"),
                           f("STATE"), f("CNTY"), f("GRIDSQUARE"), f("CQZ"), source))
      Add(*c);
    else
      ++skipped_;
  }
}

bool TWorkedLog::Load(const std::string& path, const TCallRecordSource& source,
                      std::string* error) {
  path_ = path;
  struct stat st {};
  std::ifstream in(path, std::ios::binary);
  if (!in || ::stat(path.c_str(), &st) != 0) {
    if (error) *error = "cannot read " + path;
    size_ = -1;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  Clear();
  size_ = st.st_size;
  mtime_ = st.st_mtim;
  AddAdif(text.str(), source);
  return true;
}

bool TWorkedLog::ReloadIfChanged(const TCallRecordSource& source, std::string* error) {
  if (path_.empty()) return false;
  struct stat st {};
  if (::stat(path_.c_str(), &st) != 0) return false;  // kept as read until it is back
  if (st.st_size == size_ && st.st_mtim.tv_sec == mtime_.tv_sec &&
      st.st_mtim.tv_nsec == mtime_.tv_nsec)
    return false;
  return Load(path_, source, error);
}

}  // namespace wsjtx
