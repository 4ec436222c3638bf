#pragma once
// Entry records of both databases: layout, scrambling, fields, class and date decoding, search
// keys and the call-sign rule of the notes.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

enum class TDatabase { Intl, US };

constexpr int kIntlRecordSize = 308;
constexpr int kIntlHeaderSize = 8;
constexpr int kIntlPayloadSize = 300;
constexpr int kUSRecordSize = 424;
constexpr int kUSHeaderSize = 24;
constexpr int kUSPayloadSize = 400;

// Field tags, International entries.
enum TIntlTag : int {
  itCall = 1,
  itClass = 2,
  itAddress = 3,
  itCountry = 4,
  itDxcc = 5,
  itQslMgr = 6,
  itComments = 7,
  itFax = 8,
  itEMail = 9,
  itLocator = 10
};
// Field tags, U.S. entries.
enum TUSTag : int {
  utCall = 1,
  utState = 2,
  utZIP = 3,
  utClass = 4,
  utIssued = 5,
  utExpires = 6,
  utExtra = 7,
  utLongitude = 8,
  utLatitude = 9,
  utAreaCode = 10,
  utCounty = 11,
  utTimeZone = 12,
  utAddress = 13,
  utCountry = 16,
  utDxcc = 17,
  utQslMgr = 18,
  utPrevCall = 19,
  utPrevClass = 20,
  utVanity = 21,
  utComments = 22,
  utFax = 23,
  utEMail = 24
};

// Positions of a U.S. entry in its orders, in record order.
enum TUSPos : int { upCall = 0, upName = 1, upCity = 2, upZIP = 3, upCounty = 4 };

// One record as read from the data file, unscrambled. The payload length is clamped to the
// payload size of the record kind, so fields never read past the record.
struct TEntryRecord {
  TDatabase db = TDatabase::Intl;
  int32_t ref = -1;
  std::array<int32_t, 5> pos{};  // Intl: pos[0] only; U.S.: TUSPos order
  uint8_t mapNr = 0;
  uint16_t payloadLen = 0;
  std::array<uint8_t, kUSPayloadSize> payload{};

  std::string Field(int tag) const;
  // The same text as a view into the payload, with one difference: a "<" of tag 1 stays as
  // stored (Field reads it as "0").
  std::string_view FieldView(int tag) const;
  // The same text into out, reusing its storage (no allocation once out has grown).
  void AssignField(int tag, std::string& out) const;
  std::string DateField(int tag) const;
};

// The fields of a record found in one pass over its payload, for a caller that reads most of
// them: each view the same as the record's FieldView. The record must outlive it unchanged.
class TFieldViews {
 public:
  explicit TFieldViews(const TEntryRecord& rec);
  std::string_view operator[](int tag) const;

 private:
  static constexpr int kTags = 32;  // the tags a field can have (bytes below 32 end a field)
  const TEntryRecord& rec_;
  std::array<uint16_t, kTags> begin_{};  // the position after the tag's first byte; 0: none
  std::array<uint16_t, kTags> end_{};    // the position of the next byte below 32, or the end
};

// Scrambling of a payload, keyed by the record's byte offset. Unscramble(Scramble(p)) == p.
void ScramblePayload(uint8_t* payload, int length, int32_t key);
void UnscramblePayload(uint8_t* payload, int length, int32_t key);

// Decodes raw record bytes (308 or 424, as many as were read) into a record; false when the bytes
// do not hold a complete header and payload. Unscrambles with ref as the key.
bool DecodeRecord(TDatabase db, const uint8_t* bytes, int available, int32_t ref,
                  TEntryRecord& rec);
// Encodes a record: header and scrambled payload, packed (header + payload length bytes).
std::string EncodeRecord(const TEntryRecord& rec);

// Text of a field: the bytes after the first occurrence of tag, up to the next byte below 32 or
// the end of the payload, at most 255 characters; "<" reads as "0" in tag 1.
std::string GetField(int tag, const uint8_t* payload, int length);
// The field's bytes as stored (a "<" of tag 1 as it is), a view into the payload.
std::string_view GetFieldView(int tag, const uint8_t* payload, int length);
void AssignField(int tag, const uint8_t* payload, int length, std::string& out);
// Date field: stored "MMDDYYYY" shown as "MM/DD/YYYY"; a blank field as stored.
std::string GetDateField(int tag, const uint8_t* payload, int length);
// "A - Advanced" ... ; blank gives ""; an unknown code c gives "c - Unknown".
std::string LicenceClassText(char code);
// Class text of a class field (first character; blank when empty).
std::string LicenceClassFieldText(std::string_view field);
// Search key for index number 0..6 from a typed text (at most 15 characters).
std::string MakeSearchKey(int index, std::string_view text);
// The same into out, with no allocation; returns its length.
size_t MakeSearchKeyInto(int index, std::string_view text, char (&out)[15]);

// Call sign of the notes: first 6 characters, lower-cased, trimmed; letters and digits only.
class ECallError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
std::string NormaliseCall(std::string_view text);

// Builds a payload from (tag, text) pairs: tag byte then text; characters below 32 in a text are
// dropped. Returns false when it does not fit the payload size of db.
bool AppendField(TEntryRecord& rec, int tag, std::string_view text);
