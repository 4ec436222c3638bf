// Program start before the windows: the home directory, the data-location loop and dialog, and
// the "Open files: " message.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <memory>

#include "WindowTestEnv.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "ui/FFindCD.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

class TstStartUp : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestDir> iniDir_;
  QString ini_;
  QStringList boxes_;

  void WriteIni(const QByteArray& text) {
    QFile f(ini_);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    SetApplicationTitle(kApplicationTitle);
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r.text;
      return static_cast<int>(idOK);
    });
  }
  void cleanupTestCase() {
    SetMessageHandler({});
    FreeIndexCaches();
  }
  void init() { boxes_.clear(); }
  void cleanup() { CloseDataSet(); }

  void homeDirectoryAtStart() {
    // An argument wins, and gets its separator; options are not directories.
    QCOMPARE(StartHomeDir({"--timing", "/media/cdrom"}, "/opt/tellmark"),
             std::string("/media/cdrom/"));
    WriteIni("[StartUp]\nLastHomeDir=/srv/tellmark\n");
    QCOMPARE(StartHomeDir({}, "/opt/tellmark"), std::string("/srv/tellmark/"));
    WriteIni("[StartUp]\nLastHomeDir=\n");
    QCOMPARE(StartHomeDir({}, "/opt/tellmark"), std::string("/opt/tellmark/"));
    QFile::remove(ini_);
    QCOMPARE(StartHomeDir({"--timing"}, "/opt/tellmark"), std::string("/opt/tellmark/"));
  }

  void locatingTheData() {
    fixture::TFixtureEdition edition;
    TestDir empty;
    SetHomeDir(empty.path());
    QStringList starts;
    // Asked once: the list starts at the home directory; the answer holds the data.
    QVERIFY(LocateData(
        [&](const QString& start, QString& chosen) {
          starts << start;
          chosen = QString::fromStdString(edition.path());
          return true;
        },
        "/opt/tellmark"));
    QCOMPARE(starts, QStringList({QString::fromStdString(empty.path() + "/")}));
    QCOMPARE(HomeDir(), edition.path() + "/");
    QVERIFY(OpenDataSetOrReport());
    QCOMPARE(boxes_, QStringList());
    CloseDataSet();

    // A home directory that does not exist: the list starts at the program's directory. A wrong
    // answer asks again; Cancel ends the loop, and opening then names the data file.
    SetHomeDir(empty.path() + "/missing");
    starts.clear();
    QVERIFY(!LocateData(
        [&](const QString& start, QString& chosen) {
          starts << start;
          chosen = QString::fromStdString(empty.path());
          return starts.size() < 2;
        },
        QString::fromStdString(empty.path())));
    QCOMPARE(starts.size(), 2);
    QCOMPARE(starts[0], QString::fromStdString(empty.path() + "/"));
    QVERIFY(!OpenDataSetOrReport());
    QCOMPARE(boxes_, QStringList({"Open files: Error opening DataFile (data\\thedata.dat): "
                                  "Error: 2"}));
  }

  void missingIndexIsNamed() {
    fixture::TFixtureEdition edition;
    std::filesystem::remove(edition.path() + "/data/uszip.idx");
    SetHomeDir(edition.path());
    QVERIFY(LocateData([](const QString&, QString&) { return false; }, "/"));
    QVERIFY(!OpenDataSetOrReport());
    QCOMPARE(boxes_, QStringList({"Open files: Error opening US ZIP IndexFile: Error: 2"}));
    QVERIFY(!QApplication::overrideCursor());
  }

  void dataLocationDialog() {
    TestDir dir;
    const QString sub = QString::fromStdString(dir.path()) + "/cd/data";
    QVERIFY(QDir().mkpath(sub));
    TFindCDDlg dialog(sub);
    QCOMPARE(dialog.windowTitle(), QString("Select CD"));
    QVERIFY(dialog.font().bold());
    QCOMPARE(dialog.findChild<QLabel*>("InfoText")->text(),
             QString("Could not open data files for the Tellmark 1999. Insert the CD ROM, choose "
                     "drive if necessary. Ok tries again, Cancel ends program."));
    auto* drives = dialog.findChild<QComboBox*>("DriveComboBox");
    QCOMPARE(dialog.findChild<QLabel*>("Label2")->buddy(), drives);
    QCOMPARE(dialog.findChild<QLabel*>("Label2")->text(), QString("&Drive:"));
    QCOMPARE(dialog.Directory(), sub);
    QCOMPARE(dialog.findChild<QLabel*>("Label1")->text(), sub);
    QVERIFY(dialog.findChild<QTreeView*>("DirectoryListBox"));

    const QStringList roots = TFindCDDlg::VolumeRoots();
    QVERIFY(roots.contains("/"));
    QCOMPARE(drives->count(), roots.size());
    QCOMPARE(drives->currentData().toString(), roots[drives->currentIndex()]);
    QVERIFY(sub.startsWith(drives->currentData().toString()));
    // Another drive: the list shows its root.
    for (int i = 0; i < roots.size(); ++i) {
      if (i == drives->currentIndex()) continue;
      drives->setCurrentIndex(i);
      QCOMPARE(dialog.Directory(), roots[i]);
      QCOMPARE(dialog.findChild<QLabel*>("Label1")->text(), roots[i]);
      break;
    }
    dialog.SetDirectory("/");
    QCOMPARE(dialog.Directory(), QString("/"));
    dialog.SetDirectory(sub);
    QCOMPARE(dialog.Directory(), sub);
  }
};

QTEST_MAIN(TstStartUp)
#include "tst_startup.moc"
