// Targets of tellmark-build's import sources: the FCC dump, the CSV file, the zip reader and its
// inflater.
#include <filesystem>

#include "FuzzTargets.h"
#include "RawInflate.h"
#include "builder/UCsvImport.h"
#include "builder/UFccImport.h"
#include "builder/UImportText.h"
#include "builder/UZipArchive.h"

namespace fuzz {

// Input: HD.dat, the marker, EN.dat, the marker, AM.dat.
int FuzzFcc(const uint8_t* data, size_t size) {
  const auto parts = SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 3);
  const std::string dir = ScratchDir() + "/fcc";
  std::filesystem::create_directories(dir);
  WriteScratch("fcc/HD.dat", parts[0]);
  WriteScratch("fcc/EN.dat", parts[1]);
  WriteScratch("fcc/AM.dat", parts[2]);
  TFccImportOptions options;
  options.zipPlace = [](std::string_view zip, TFccPlace& place) {
    if (zip.size() != 5 || zip[0] != '0') return false;
    place.state = "CT";
    place.county = "Hartford";
    place.longitude = "72.7";
    place.latitude = "41.7";
    return true;
  };
  options.cityPlace = [](std::string_view city, std::string_view state, TFccPlace& place) {
    if (city != "HARTFORD" || state != "CT") return false;
    place.state = "CT";
    place.county = "Hartford";
    return true;
  };
  options.country = [](std::string_view, std::string& country, std::string& dxcc) {
    country = "United States";
    dxcc = "United States";
  };
  std::vector<TBuildEntry> us;
  try {
    const TFccImportReport r = ImportFcc(dir, us, options);
    if (r.imported != us.size()) Fail("import report does not count the entries made");
    for (const auto& e : us)
      for (const auto& [tag, text] : e.fields)
        for (char c : text)
          if (static_cast<uint8_t>(c) < 32) Fail("control character in an imported field");
  } catch (const EStatusError&) {
  }
  return 0;
}

int FuzzCsv(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string path = WriteScratch("intl.csv", text);
  TBuildInput input;
  try {
    const TCsvImportReport r = ImportIntlCsv(path, input);
    if (r.imported != input.intl.size()) Fail("import report does not count the entries made");
    if (r.managers != input.qslManagers.size()) Fail("QSL manager count wrong");
    for (const auto& e : input.intl)
      for (const auto& [tag, text] : e.fields)
        for (char c : text)
          if (static_cast<uint8_t>(c) < 32) Fail("control character in an imported field");
  } catch (const EStatusError&) {
  }
  const std::string converted = ImportText(text);
  for (char c : converted)
    if (static_cast<uint8_t>(c) < 32) Fail("control character after ImportText");
  return 0;
}

int FuzzZip(const uint8_t* data, size_t size) {
  const std::string path =
      WriteScratch("archive.zip", std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    TZipArchive zip(path);
    int read = 0;
    for (const auto& m : zip.Members()) {
      if (++read > 8) break;
      uint64_t produced = 0;
      try {
        zip.Read(m, [&](const char*, size_t n) {
          produced += n;
          if (produced > m.size) Fail("zip member longer than its stated size");
        });
      } catch (const EStatusError&) {
      }
    }
    zip.Find("EN.dat");
  } catch (const EStatusError&) {
  }
  return 0;
}

int FuzzInflate(const uint8_t* data, size_t size) {
  try {
    const std::string out = InflateRaw(std::string_view(reinterpret_cast<const char*>(data), size));
    Crc32(0, out.data(), out.size());
  } catch (const EStatusError&) {
  }
  return 0;
}

}  // namespace fuzz
