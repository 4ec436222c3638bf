#pragma once
// Shared set-up of the window tests.
#include <QString>
#include <memory>

#include "TestDir.h"
#include "dataset/UDataSet.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

// The settings file of a window test: $TELLMARK_INI (CMake sets one per test program), else a
// file in a temporary folder kept in holder; TELLMARK_INI then names it.
inline QString UseTestSettingsFile(std::unique_ptr<TestDir>& holder) {
  QString ini = qEnvironmentVariable("TELLMARK_INI");
  if (ini.isEmpty()) {
    holder = std::make_unique<TestDir>();
    ini = QString::fromStdString(holder->file("tellmark.ini"));
    qputenv("TELLMARK_INI", ini.toLocal8Bit());
  }
  return ini;
}

// Opens an edition folder as the data set of a window test, with the program's title.
inline void OpenTestEdition(const std::string& dir) {
  SetHomeDir(dir);
  OpenDataSet();
  SetApplicationTitle(kApplicationTitle);
}
