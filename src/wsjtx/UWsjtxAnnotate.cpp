#include "wsjtx/UWsjtxAnnotate.h"

#include <cctype>
#include <cmath>

#include "callbook/UCallbookWriters.h"
#include "map/UMapGeo.h"

namespace wsjtx {

namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Tenths, as WSJT-X shows DT; never "-0.0".
double Tenths(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::round(v * 10) / 10;
  return r == 0 ? 0.0 : r;
}

}  // namespace

std::optional<TCallbookRecord> TAnnotator::Record(std::string_view call) const {
  if (call.empty()) return std::nullopt;
  TCallbookAnswer a = ValueOrThrow(callbook_.Lookup(call));
  if (!a.Exact()) return std::nullopt;
  return std::move(a.record);
}

TCallRecordSource TAnnotator::Source() const {
  return [this](std::string_view call) { return Record(call); };
}

TAnnotation TAnnotator::Annotate(const TDecode& d, const TDecodeContext& ctx) const {
  TAnnotation a;
  a.text = ReadMessageText(d.message);
  a.mode = !ctx.statusMode.empty() ? LogMode(ctx.statusMode) : ModeOfMark(d.mode);
  if (ctx.dialFrequency) a.band = BandOfFrequency(ctx.dialFrequency + d.deltaFrequency);
  a.record = Record(a.text.caller);
  const TCallbookRecord* r = a.record ? &*a.record : nullptr;
  if (!a.text.grid.empty()) {
    a.grid = a.text.grid;
    a.gridSource = "message";
  } else if (r && !r->grid.empty()) {
    a.grid = r->grid;
    a.gridSource = "directory";
  }
  if (r && r->dxccCode && *r->dxccCode == 1) a.province = r->state;
  if (!a.grid.empty() && !ctx.myLocator.empty()) {
    TEntf e;
    if (GetEntf(ctx.myLocator, a.grid, e)) {
      a.distanceKm = e.distanceKm;
      a.heading = e.heading;
    }
  }
  if (ctx.log && !a.text.caller.empty()) {
    TFlags f;
    f.workedBefore =
        !a.band.empty() && !a.mode.empty() && ctx.log->Worked(a.text.caller, a.band, a.mode);
    if (r && r->dxccCode) f.newEntity = !ctx.log->HasEntity(*r->dxccCode);
    if (r && CountsUSStates(r->dxccCode) && !r->state.empty()) {
      const std::string state = Upper(r->state);
      f.newState = !ctx.log->HasState(state);
      if (!r->county.empty()) f.newCounty = !ctx.log->HasCounty(state + ',' + Upper(r->county));
    }
    if (a.grid.size() >= 4) f.newGrid = !ctx.log->HasGrid(Upper(a.grid.substr(0, 4)));
    if (r && r->cqZone) f.newZone = !ctx.log->HasZone(*r->cqZone);
    a.flags = f;
  }
  return a;
}

nlohmann::ordered_json DecodeJson(const TDecode& d, const TAnnotation& a,
                                  const TDecodeContext& ctx) {
  nlohmann::ordered_json j;
  j["id"] = d.id;
  if (const std::string t = TimeText(d.time); !t.empty()) j["time"] = t;
  j["new"] = d.isNew;
  j["snr"] = d.snr;
  j["dt"] = Tenths(d.deltaTime);
  j["df"] = d.deltaFrequency;
  if (ctx.dialFrequency) j["frequency"] = ctx.dialFrequency + d.deltaFrequency;
  if (!a.band.empty()) j["band"] = a.band;
  if (!a.mode.empty()) j["mode"] = a.mode;
  j["message"] = d.message;
  if (d.lowConfidence) j["low_confidence"] = true;
  if (d.offAir) j["off_air"] = true;
  j["cq"] = a.text.cq;
  if (!a.text.cqTarget.empty()) j["cq_target"] = a.text.cqTarget;
  if (!a.text.caller.empty()) j["de"] = a.text.caller;
  if (!a.text.called.empty()) j["to"] = a.text.called;
  if (a.text.callerHashed) j["de_hashed"] = true;
  if (a.text.calledHashed) j["to_hashed"] = true;
  if (!a.text.report.empty()) j["report"] = a.text.report;
  if (a.text.freeText) j["free_text"] = true;
  if (!a.grid.empty()) {
    j["grid"] = a.grid;
    j["grid_source"] = a.gridSource;
  }
  if (!a.province.empty()) j["province"] = a.province;
  if (a.distanceKm) j["distance_km"] = std::lround(*a.distanceKm);
  if (a.heading) j["heading"] = std::lround(*a.heading) % 360;
  if (a.flags) {
    const TFlags& f = *a.flags;
    j["flags"] = {{"worked_before", f.workedBefore}, {"new_entity", f.newEntity},
                  {"new_state", f.newState},         {"new_county", f.newCounty},
                  {"new_grid", f.newGrid},           {"new_zone", f.newZone}};
  }
  if (a.record) j["record"] = CallbookJson(*a.record);
  return j;
}

}  // namespace wsjtx
