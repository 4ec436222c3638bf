#include "service/UServiceMain.h"

#include <cstdlib>
#include <iostream>

#include "service/UService.h"
#include "service/UServiceData.h"
#include "settings/USettings.h"

TStatus ServeLookups(const std::string& serve) {
  TServiceOptions options;
  // The threads serving connections: one per core unless TELLMARK_SERVICE_THREADS says (1..64).
  if (const char* t = std::getenv("TELLMARK_SERVICE_THREADS")) {
    const int n = std::atoi(t);
    if (n >= 1 && n <= 64) options.threads = n;
  }
  if (const TStatus parsed = ParseServeAddress(serve, options.address, options.port); !parsed.ok())
    return parsed.WithContext("--serve " + serve);
  TSettingsFile settingsFile(SettingsFilePath());
  settingsFile.Load();
  bool notice = false;
  TDataSetSource source(LoadProgramSettings(settingsFile, notice).myLocator);
  // A damaged entity table is said, not fatal: the answers then have no zones.
  const auto openEdition = [&source] {
    TStatus opened = source.Open();
    if (opened.ok() && !source.Warning().empty())
      std::cerr << "tellmark-lookup: " << source.Warning() << std::endl;
    return opened;
  };
  if (TStatus opened = openEdition(); !opened.ok()) return opened;
  TServiceRouter router(source);
  return RunCallbookService(router, options, openEdition);
}
