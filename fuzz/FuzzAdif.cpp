// Target of ADIF logs: read, filled from a record that answers every call, written and read again.
#include "FuzzTargets.h"
#include "adif/UAdif.h"
#include "adif/UAdifFill.h"

namespace fuzz {

namespace {

class TAnySource : public TAdifSource {
 public:
  TAnySource() {
    rec_.database = TDatabase::US;
    rec_.name = "J\xC3\xBCrgen Smith";
    rec_.street = "87 Pickett Blvd";
    rec_.city = "Dallas";
    rec_.state = "TX";
    rec_.county = "DALLAS";
    rec_.dxcc = "United States";
    rec_.dxccCode = 291;
    rec_.cqZone = 4;
    rec_.ituZone = 7;
    rec_.continent = "NA";
    rec_.grid = "EM12kq";
    rec_.latitude = 32.7116;
    rec_.longitude = -96.6772;
    rec_.issued = "1999-04-03";
    table_.AddEntity({1, "Canada", "NA", 5, 9, {"VE", "VA"}});
    table_.AddEntity({291, "United States", "NA", 5, 8, {"K", "N", "W"}});
  }
  std::optional<TCallbookRecord> FindBaseCall(std::string_view call) override {
    if (call.size() % 3 == 0) return std::nullopt;
    return rec_;
  }
  const TEntityTable* Entities() override { return &table_; }

 private:
  TCallbookRecord rec_;
  TEntityTable table_;
};

}  // namespace

int FuzzAdif(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TAdifLog log = TAdifLog::Parse(text);
  size_t last = 0;
  for (const TAdifRecord& r : log.Records()) {
    if (r.begin < last || r.begin > r.eor || r.eor > r.end || r.end > size)
      Fail("record outside the text or out of order");
    last = r.end;
    for (const TAdifField& f : r.fields)
      if (f.tag >= f.value || f.value > size || f.length > size - f.value)
        Fail("field outside the text");
  }
  for (const TAdifProblem& p : log.Problems())
    if (p.offset > size || p.record > log.Records().size()) Fail("problem outside the log");
  if (WriteAdif(log, {}) != text) Fail("log not written back unchanged");

  // Filled fields read back; the records stay as they were.
  const std::string name = "J\xC3\xBCrgen";
  const TAdifFills fills(log.Records().size(), {{"NAME", name}, {"QTH", "x"}});
  const TAdifLog again = TAdifLog::Parse(WriteAdif(log, fills));
  if (again.Records().size() != log.Records().size() ||
      again.DamagedRecords() != log.DamagedRecords())
    Fail("filled log reads back with other records");
  for (size_t i = 0; i < log.Records().size(); ++i) {
    const TAdifRecord &r = log.Records()[i], &a = again.Records()[i];
    if (AdifCanFill(log, r, "NAME", name) && again.FieldText(a, "NAME") != name)
      Fail("filled NAME does not read back");
    if (r.sound && !log.FieldText(r, "NAME").empty() &&
        again.FieldText(a, "NAME") != log.FieldText(r, "NAME"))
      Fail("NAME changed by filling");
    if (r.sound && log.FieldText(r, "CALL") != again.FieldText(a, "CALL"))
      Fail("CALL changed by filling");
  }

  TAnySource source;
  const TAdifFillResult filled = FillAdifLog(log, source);
  if (filled.summary.contacts + filled.summary.unreadable != log.Records().size())
    Fail("summary does not count every record");
  AdifFillSummaryText(log, filled.summary);
  const TAdifCalls calls = AdifLogCalls(log);
  if (calls.calls.size() + calls.noCall + calls.unreadable != log.Records().size())
    Fail("calls do not account for every record");
  return 0;
}

}  // namespace fuzz
