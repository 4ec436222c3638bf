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
  std::string error;
  if (!ParseServeAddress(serve, options.address, options.port, error))
    return TStatus::InvalidArgument("--serve " + serve + ": " + error);
  TSettingsFile settingsFile(SettingsFilePath());
  settingsFile.Load();
  bool notice = false;
  TDataSetSource source(LoadProgramSettings(settingsFile, notice).myLocator);
  if (!source.Open(error)) return TStatus::WithMessage(TStatusCode::IOError, error);
  TServiceRouter router(source);
  return RunCallbookService(router, options,
                            [&source](std::string& why) { return source.Open(why); });
}
