#include "ui/UStartUp.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "settings/USettings.h"
#include "widgets/UMessages.h"

QString FromLocalPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString EditionTitle() {
  const TEdition& ed = CurrentEdition();
  return RealEdition(ed) ? QString::fromStdString(Cp437ToUtf8(ed.title))
                         : QString(kApplicationTitle);
}

std::string StartHomeDir(const QStringList& arguments, const QString& programDir) {
  for (const QString& arg : arguments)
    if (!arg.startsWith("--")) return WithTrailingSeparator(ToLocalPath(arg));
  std::string home;
  try {
    TSettingsFile settings(SettingsFilePath());
    if (settings.Load()) home = ReadLastHomeDir(settings);
  } catch (...) {
    home.clear();
  }
  if (home.empty()) home = ToLocalPath(programDir);
  return WithTrailingSeparator(home);
}

bool LocateData(const TAskDataDir& ask, const QString& programDir) {
  for (;;) {
    TReadOnlyFile probe;
    if (probe.Open(DataSetPath(kDataFileName))) return true;
    QString start = FromLocalPath(HomeDir());
    if (start.isEmpty() || !QDir(start).exists())
      start = FromLocalPath(WithTrailingSeparator(ToLocalPath(programDir)));
    QString chosen;
    try {
      if (!ask(start, chosen)) return false;
    } catch (...) {
      return false;
    }
    SetHomeDir(WithTrailingSeparator(ToLocalPath(chosen)));
  }
}

bool OpenDataSetOrReport() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    OpenDataSet();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    ShowErrorBox(QString("Open files: ") + QString::fromLocal8Bit(e.what()));
    return false;
  }
  QApplication::restoreOverrideCursor();
  return true;
}
