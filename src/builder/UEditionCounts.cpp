#include "builder/UEditionCounts.h"

#include "common/StrUtil.h"

namespace {
template <class K, class V>
void AddAll(std::map<K, V>& into, const std::map<K, V>& from) {
  for (const auto& [k, v] : from) into[k] += v;
}
}  // namespace

void TEditionCounts::Add(const TEntryRecord& rec) {
  coverage.Add(rec);
  if (rec.db == TDatabase::Intl) {
    ++intlTotal;
    ++intlByDxcc[TrimBlanks(rec.Field(itDxcc))];
    return;
  }
  ++usTotal;
  ++usByDxcc[TrimBlanks(rec.Field(utDxcc))];
  TStateCount& s = states[TrimBlanks(rec.Field(utState))];
  ++s.total;
  const std::string cls = TrimBlanks(rec.Field(utClass));
  ++s.classes[cls.empty() ? ' ' : LowerOEM(cls[0])];
  const std::string zip = TrimBlanks(rec.Field(utZIP));
  ++s.zipSections[zip.size() >= 3 ? zip.substr(0, 3) : std::string("---")];
}

void TEditionCounts::Merge(const TEditionCounts& o) {
  intlTotal += o.intlTotal;
  usTotal += o.usTotal;
  for (const auto& [state, count] : o.states) {
    TStateCount& s = states[state];
    s.total += count.total;
    AddAll(s.classes, count.classes);
    AddAll(s.zipSections, count.zipSections);
  }
  AddAll(intlByDxcc, o.intlByDxcc);
  AddAll(usByDxcc, o.usByDxcc);
  coverage.Merge(o.coverage);
}
