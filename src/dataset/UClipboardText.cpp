#include "dataset/UClipboardText.h"

#include <string_view>

#include "common/StrUtil.h"

const char* const kClipboardNotice[2] = {"Taken from the Tellmark call sign directory on CD-ROM.",
                                         "For personal use only; not for mass mailing or resale."};

namespace {

// The fixed-size buffer: appends what fits, never more than kClipboardTextLimit characters.
class TClipBuffer {
 public:
  void Add(std::string_view s) {
    const size_t room = kClipboardTextLimit - text_.size();
    text_.append(s.substr(0, room));
  }
  void AddLine(std::string_view s) {
    Add(s);
    Add("\r\n");
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

bool IsDateField(TDatabase db, int tag) {
  return db == TDatabase::US && (tag == utIssued || tag == utExpires);
}

}  // namespace

const std::vector<int>& ClipboardFieldOrder(TDatabase db) {
  static const std::vector<int> us = {
      utCall,     utState,    utZIP,      utClass,     utIssued,  utExpires, utLongitude,
      utLatitude, utAreaCode, utCounty,   utTimeZone,  utAddress, utDxcc,    utCountry,
      utExtra,    utVanity,   utPrevCall, utPrevClass, utEMail,   utFax,     utComments};
  static const std::vector<int> intl = {itCall,    itClass, itAddress, itDxcc,
                                        itCountry, itEMail, itFax,     itComments};
  return db == TDatabase::US ? us : intl;
}

std::string ClipboardText(const TEntryRecord& rec, int format,
                          const TAddressBlockFn& addressBlock) {
  TClipBuffer buf;
  if (format == cfAddressOnly) {
    std::vector<std::string> lines;
    if (!addressBlock || !addressBlock(rec, lines)) return {};
    for (const auto& l : lines) buf.AddLine(l);
    return buf.Text();
  }
  for (int tag : ClipboardFieldOrder(rec.db))
    buf.AddLine(IsDateField(rec.db, tag) ? rec.DateField(tag) : rec.Field(tag));
  if (buf.Text().size() > 3)
    for (const char* line : kClipboardNotice) buf.AddLine(line);
  return buf.Text();
}

bool PlainAddressBlock(const TEntryRecord& rec, bool addCall, int addCountry,
                       std::vector<std::string>& lines) {
  const bool us = rec.db == TDatabase::US;
  const std::string address = TrimBlanks(rec.Field(us ? int{utAddress} : int{itAddress}));
  if (address.empty()) return false;
  lines.clear();
  size_t start = 0;
  while (start <= address.size()) {
    const size_t comma = address.find(", ", start);
    const std::string part = TrimBlanks(
        address.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!part.empty()) lines.push_back(part);
    if (comma == std::string::npos) break;
    start = comma + 2;
  }
  if (lines.empty()) return false;
  if (us) {
    // U.S. addresses end with the city; state and ZIP follow it on the same line.
    const std::string state = TrimBlanks(rec.Field(utState)), zip = TrimBlanks(rec.Field(utZIP));
    if (!state.empty()) lines.back() += ", " + state;
    if (!zip.empty()) lines.back() += " " + zip;
  }
  if (addCall) {
    const std::string call = TrimBlanks(rec.Field(1));
    if (!call.empty()) lines.front() = call + " " + lines.front();
  }
  if (addCountry == 1 || addCountry == 2) {
    const int tag =
        addCountry == 1 ? (us ? int{utCountry} : int{itCountry}) : (us ? int{utDxcc} : int{itDxcc});
    const std::string country = TrimBlanks(rec.Field(tag));
    if (!country.empty() && !(us && country == "United States")) lines.push_back(country);
  }
  return true;
}
