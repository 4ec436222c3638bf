// Targets of the data-set readers: index pages, entry records and fields, the edition manifest
// and the word lists with their reference files.
#include <algorithm>

#include "FuzzTargets.h"
#include "dataset/UEdition.h"
#include "dataset/UEntry.h"
#include "dataset/ULocator.h"
#include "dataset/ULookup.h"
#include "dataset/UQslManagers.h"
#include "storage/UIndexEngine.h"
#include "textsearch/Dbwort.h"

namespace fuzz {

namespace {

void EnsureCaches() {
  static const bool ok = AllocIndexCaches();
  if (!ok) Fail("no index cache");
}

// Input: one byte of options (bit 0 duplicates, bits 1..4 key length), then the index file.
int FuzzIndex(TIndexEngine& engine, bool backwards, const uint8_t* data, size_t size) {
  EnsureCaches();
  if (size < 1) return 0;
  const bool duplicates = data[0] & 1;
  const int keyLength = 1 + (data[0] >> 1) % engine.MaxKeyLength();
  const std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string path = WriteScratch("index.idx", file);
  TIndexCtl ctl;
  if (!engine.OpenIndex(ctl, path, keyLength, duplicates)) return 0;
  bool found = false;
  int32_t ref = 0;
  std::string key;
  for (const char* k : {"", "a", "k1abc", "smith", "zzzzzzzzzzzzzzz", "<", "\xff"}) {
    const std::string_view kv = std::string_view(k).substr(0, static_cast<size_t>(keyLength));
    engine.Find(ctl, kv, found, ref);
    engine.FindNext(ctl, found, key, ref);
    engine.FindKey(ctl, kv, found, ref);
  }
  // A walk through the whole index from the start (and, long keys, back from the end); a
  // damaged tree may hold cycles, so the walk is bounded.
  ctl.depth = 0;
  for (int i = 0; i < 2000; ++i) {
    if (!engine.FindNext(ctl, found, key, ref) || !found) break;
    if (key.size() > static_cast<size_t>(keyLength)) Fail("index key longer than its length");
  }
  if (backwards) {
    auto& longEngine = static_cast<TLongKeyEngine&>(engine);
    ctl.depth = 0;
    for (int i = 0; i < 2000; ++i)
      if (!longEngine.FindPrev(ctl, found, key, ref) || !found) break;
  }
  engine.CloseIndex(ctl);
  return 0;
}

}  // namespace

int FuzzIndexShort(const uint8_t* data, size_t size) {
  return FuzzIndex(ShortKeyEngine(), false, data, size);
}

int FuzzIndexLong(const uint8_t* data, size_t size) {
  return FuzzIndex(LongKeyEngine(), true, data, size);
}

// Input: one byte (bit 0: U.S.), four bytes of reference (the scrambling key), the record bytes.
int FuzzEntry(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const TDatabase db = data[0] & 1 ? TDatabase::US : TDatabase::Intl;
  const int32_t ref = static_cast<int32_t>(data[1] | data[2] << 8 | data[3] << 16 |
                                           static_cast<uint32_t>(data[4]) << 24);
  const uint8_t* bytes = data + 5;
  const int available = static_cast<int>(std::min<size_t>(size - 5, 100000));
  TEntryRecord rec;
  if (DecodeRecord(db, bytes, available, ref, rec)) {
    const int maxPayload = db == TDatabase::US ? kUSPayloadSize : kIntlPayloadSize;
    if (rec.payloadLen > maxPayload) Fail("payload length above the record's payload size");
    for (int tag = 0; tag <= 25; ++tag) {
      const std::string f = rec.Field(tag);
      if (f.size() > 255) Fail("field longer than 255 characters");
      rec.DateField(tag);
      LicenceClassFieldText(f);
      for (int index = 0; index < 7; ++index) MakeSearchKey(index, f.substr(0, 15));
      try {
        NormaliseCall(f);
      } catch (const ECallError&) {
      }
      IsValidLocator(f);
      QslManagerRecordNumber(f);
      QslLookupCall(f);
      QslDateText(f);
    }
    MakeEntryView(rec);
    if (db == TDatabase::US) CoordToLocator(rec.Field(utLongitude), rec.Field(utLatitude));
    TEntryRecord back;
    const std::string encoded = EncodeRecord(rec);
    if (!DecodeRecord(db, reinterpret_cast<const uint8_t*>(encoded.data()),
                      static_cast<int>(encoded.size()), ref, back) ||
        back.payloadLen != rec.payloadLen ||
        !std::equal(back.payload.begin(), back.payload.begin() + back.payloadLen,
                    rec.payload.begin()))
      Fail("entry record does not survive encoding");
  }
  // The raw bytes as a payload and as QSL manager records.
  const int length = std::min(available, static_cast<int>(kUSPayloadSize));
  for (int tag = 0; tag <= 25; ++tag) {
    GetField(tag, bytes, length);
    GetDateField(tag, bytes, length);
  }
  for (int at = 0; at + kQslRecordSize <= available && at < 10 * kQslRecordSize;
       at += kQslRecordSize) {
    const TQslRecord q = DecodeQslRecord(bytes + at);
    if (q.call.size() > 13 || q.manager.size() > 13 || q.info.size() > 15 || q.date.size() > 8)
      Fail("QSL manager field longer than its size");
  }
  return 0;
}

int FuzzEdition(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TResult<TEdition> parsed = ParseEdition(text);
  if (!parsed.ok()) {
    if (parsed.Status().Message().empty()) Fail("refused manifest without a reason");
    return 0;
  }
  const TEdition& ed = *parsed;
  for (const auto& s : ed.stretches)
    if (s.Count() < 0) Fail("stretch with a negative count accepted");
  // What the writer makes of it reads back the same (titles are one line by construction).
  if (ed.title.find_first_of("\r\n") == std::string::npos) {
    const TResult<TEdition> reread = ParseEdition(FormatEdition(ed));
    if (!reread.ok()) Fail("formatted manifest refused: " + reread.Status().Message());
    const TEdition& back = *reread;
    for (size_t i = 0; i < ed.stretches.size(); ++i)
      if (back.stretches[i].start != ed.stretches[i].start ||
          back.stretches[i].end != ed.stretches[i].end)
        Fail("manifest stretch changed on a round trip");
  }
  return 0;
}

// Input: the word index, the marker, the reference file.
int FuzzWordList(const uint8_t* data, size_t size) {
  EnsureCaches();
  const auto parts = SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const std::string idx = WriteScratch("wort.idx", parts[0]);
  const std::string vws = WriteScratch("wort.vws", parts[1]);
  try {
    TWortListe list(idx, kWordListFileMode, vws);
    bool found = false;
    int32_t ref = 0;
    std::string word;
    std::vector<int32_t> refs;
    list.Find("smith", found, ref);
    if (found) refs.push_back(ref);
    list.Find("", found, ref);
    for (int i = 0; i < 200; ++i) {
      if (!list.Next(found, word, ref) || !found) break;
      refs.push_back(ref);
    }
    for (int i = 0; i < 50; ++i)
      if (!list.Prev(found, word, ref) || !found) break;
    for (size_t i = 0; i < refs.size() && i < 20; ++i) {
      TWortVerweisListe words(list, refs[i]);
      const int32_t n = words.GetCount();
      if (n < 0) Fail("negative reference count");
      for (int32_t k = 0; k <= std::min(n, 50) + 1; ++k) words.GetItem(k);
      words.Contains(12345);
      int32_t buffer[16];
      words.ReadItems(1, std::min(n, 16), buffer);
      if (n <= 200000) {  // a hostile count makes a long (but bounded) copy
        TFinalVerweisListe final;
        CopyToFinal(words, final);
        if (final.GetCount() > n) Fail("copied more references than the count");
      }
    }
  } catch (const ECreationFailed&) {
  }
  return 0;
}

}  // namespace fuzz
