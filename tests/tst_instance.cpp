// The desktop program's command line: --help and --version print and end before any window (no
// display is needed), and a second start hands the running program its request over the local
// socket, with the data folder it names, then ends; the running window comes to the front and
// opens that folder.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "WindowTestEnv.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "ui/USingleInstance.h"
#include "widgets/UMessages.h"

namespace {

struct TRun {
  int status = -1;
  QString out, err;
  qint64 ms = 0;
};

// Runs the program with env added to (or, with an empty value, removed from) this one's.
TRun RunProgram(const QStringList& args, const QMap<QString, QString>& env,
                const QString& workDir = QString()) {
  QProcess p;
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (auto it = env.begin(); it != env.end(); ++it) {
    if (it.value().isEmpty())
      e.remove(it.key());
    else
      e.insert(it.key(), it.value());
  }
  p.setProcessEnvironment(e);
  if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
  QElapsedTimer clock;
  clock.start();
  p.start(TELLMARK_BIN, args);
  TRun r;
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished();
    return r;
  }
  r.ms = clock.elapsed();
  r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

}  // namespace

class TstInstance : public QObject {
  Q_OBJECT

 private:
  QString name_;
  std::unique_ptr<TestDir> iniDir_;

 private slots:
  void initTestCase() {
    name_ = QString("tellmark-test-%1").arg(QCoreApplication::applicationPid());
    qputenv("TELLMARK_INSTANCE", name_.toUtf8());
    UseTestSettingsFile(iniDir_);
    SetMessageHandler([](TMessageRequest& r) {
      qWarning("box: %s", qPrintable(r.text));
      return static_cast<int>(idOK);
    });
  }
  void init() {
    QFile f(qEnvironmentVariable("TELLMARK_INI"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=\n");
  }

  // Without a display the program could not make a window at all: --help and --version still
  // answer, at once, and do not reach a running program.
  void helpAndVersionBeforeAnyWindow_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("begins");
    QTest::newRow("--help") << "--help"
                            << "Usage: tellmark [OPTION] [DATA_FOLDER]\n";
    QTest::newRow("-h") << "-h"
                        << "Usage: tellmark [OPTION] [DATA_FOLDER]\n";
    QTest::newRow("--version") << "--version" << QString("tellmark %1\n").arg(TELLMARK_VERSION);
  }
  void helpAndVersionBeforeAnyWindow() {
    QFETCH(QString, option);
    QFETCH(QString, begins);
    TInstanceServer running;
    QVERIFY(running.Listen());
    QSignalSpy asked(&running, &TInstanceServer::Activated);
    const TRun r =
        RunProgram({option, "/some/folder"},
                   {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.startsWith(begins), qPrintable(r.out));
    QCOMPARE(r.err, QString());
    if (option != "--version") {
      QVERIFY(r.out.contains("--version"));
      QVERIFY(r.out.contains("man tellmark"));
      QVERIFY(r.out.contains("/share/doc/tellmark"));
    } else {
      QCOMPARE(r.out, begins);
    }
    QTest::qWait(100);
    QCOMPARE(asked.count(), 0);
  }

  // A second start hands over its data folder (made absolute) or only asks for the window, and
  // ends without opening anything itself.
  void secondStartHandsOverItsRequest_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("folder");
    const QString work = QDir::tempPath();
    QTest::newRow("absolute folder") << QStringList{"/srv/callbook 2000"} << "/srv/callbook 2000";
    QTest::newRow("relative folder")
        << QStringList{"editions/summer"} << QDir(work).absoluteFilePath("editions/summer");
    QTest::newRow("none") << QStringList{} << QString();
  }
  void secondStartHandsOverItsRequest() {
    QFETCH(QStringList, args);
    QFETCH(QString, folder);
    TInstanceServer running;
    QVERIFY(running.Listen());
    QSignalSpy asked(&running, &TInstanceServer::Activated);
    // The request is answered while the test's event loop runs.
    QProcess second;
    second.setWorkingDirectory(QDir::tempPath());
    second.start(TELLMARK_BIN, args);
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(asked.at(0).at(0).toString(), folder);
  }

  // A socket left behind by a program that ended does not keep the next one from listening.
  void socketLeftBehindIsReplaced() {
    const QString path = QDir(QDir::tempPath()).filePath(name_);
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    QVERIFY(!TInstanceServer::HandToRunning({}, 500));
    TInstanceServer running;
    QVERIFY(running.Listen());
    QSignalSpy asked(&running, &TInstanceServer::Activated);
    QProcess second;
    second.start(TELLMARK_BIN, {});
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
  }

  // The running program's main window, minimised behind another window, comes to the front
  // and is active when a second start asks for it.
  void runningWindowComesToTheFront() {
    QVERIFY(AllocIndexCaches());
    fixture::TFixtureEdition edition;
    OpenTestEdition(edition.path());
    {
      TCallViewForm main;
      TInstanceServer running;
      QVERIFY(running.Listen());
      connect(&running, &TInstanceServer::Activated, &main, [&main] { BringToFront(&main); });
      main.show();
      QVERIFY(QTest::qWaitForWindowExposed(&main));
      main.showMinimized();
      QWidget other;
      other.resize(200, 100);
      other.show();
      other.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&other));
      QVERIFY(main.isMinimized());
      QProcess second;
      second.start(TELLMARK_BIN, {});
      QTRY_VERIFY_WITH_TIMEOUT(!main.isMinimized(), 15000);
      QTRY_VERIFY(main.isActiveWindow());
      QVERIFY(main.isVisible());
      QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
      QCOMPARE(second.exitCode(), 0);
    }
    CloseDataSet();
    FreeIndexCaches();
  }

  // The whole program: a second start with another data folder makes the running program
  // close its window and open that folder; the settings then name it as the last one.
  void runningProgramOpensTheFolderOfASecondStart() {
    fixture::TFixtureEdition one, two;
    const QString ini = qEnvironmentVariable("TELLMARK_INI");
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    first.setProcessEnvironment(env);
    first.start(TELLMARK_BIN, {QString::fromStdString(one.path())});
    QVERIFY(first.waitForStarted());
    // Listening once its window is up.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
      QLocalSocket probe;
      probe.connectToServer(name_);
      if (probe.waitForConnected(100) || clock.elapsed() >= 15000) break;
      QTest::qWait(100);
    }
    QVERIFY2(clock.elapsed() < 15000, "the program did not listen");
    const auto lastHome = [&ini] {
      QFile s(ini);
      if (!s.open(QIODevice::ReadOnly)) return QString();
      for (const QByteArray& line : s.readAll().split('\n'))
        if (line.startsWith("LastHomeDir=")) return QString::fromLocal8Bit(line.mid(12)).trimmed();
      return QString();
    };
    QCOMPARE(RunProgram({QString::fromStdString(two.path())}, {}).status, 0);
    // The first window closed (saving its folder), the second opened on the new one.
    QTRY_COMPARE_WITH_TIMEOUT(QDir(lastHome()).absolutePath(),
                              QDir(QString::fromStdString(one.path())).absolutePath(), 15000);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(RunProgram({QString::fromStdString(one.path())}, {}).status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(QDir(lastHome()).absolutePath(),
                              QDir(QString::fromStdString(two.path())).absolutePath(), 15000);
    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    if (!first.waitForFinished(5000)) {
      first.kill();
      first.waitForFinished();
    }
  }
};

QTEST_MAIN(TstInstance)
#include "tst_instance.moc"
