// tellmark [--help] [--version] [HOMEDIR]: the desktop program.
//
// --help and --version print and end before anything else starts. A start while the program
// runs hands the running one its request (to the front, and HOMEDIR when given) and ends; the
// running program then opens that data folder, as after a start with it.
//
// Start: page caches, home directory (argument, else LastHomeDir of the settings, else the
// program's own directory), the data-location dialog until data\thedata.dat opens or the user
// cancels, the whole data set, then the windows; at the end the data set is closed and the caches
// freed.
//
// Extra options for measuring and documentation:
//   --timing (or TELLMARK_TIMING=1)  print the milliseconds from start to the first entry shown
//   --exit-after-paint               end the program once the main window has painted (with
//                                    --timing: the whole process timed from outside)
//   TELLMARK_SCREENSHOT_DIR=dir      grab every window into dir/*.png and exit; the entries shown
//                                    are TELLMARK_SCREENSHOT_US (a U.S. call) and
//                                    TELLMARK_SCREENSHOT_INTL (an International call)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <string_view>

#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "ui/FDetail.h"
#include "ui/FFindCD.h"
#include "ui/FTellmarkMain.h"
#include "ui/USingleInstance.h"
#include "ui/UStartUp.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

constexpr const char* kUsage =
    "Usage: tellmark [OPTION] [DATA_FOLDER]\n"
    "Shows the entries of a Tellmark data set: licensed radio amateurs by call, name, city,\n"
    "ZIP or county, with notes, Morse output, maps and labels.\n"
    "\n"
    "DATA_FOLDER is the folder holding the data set (data/thedata.dat); without it the last one\n"
    "used, else the one installed with the program. While the program runs, starting it again\n"
    "brings its window to the front and opens DATA_FOLDER there when one is given.\n"
    "\n"
    "  --help      print this text and end\n"
    "  --version   print the version and end\n"
    "\n"
    "Documentation: man tellmark, and " TELLMARK_DOC_DIR ".\n";

// --help and --version, before the application (and its display) is made: the exit status, or
// -1 to go on.
int EarlyOptions(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("tellmark %s\n", TELLMARK_VERSION);
      return 0;
    }
  }
  return -1;
}

// The data folder named on the command line, absolute; empty when none.
QString DataFolderArgument(const QStringList& args) {
  for (const QString& arg : args.mid(1))
    if (!arg.startsWith("-")) return QDir(arg).absolutePath();
  return {};
}

bool AskDataDir(const QString& startDir, QString& chosen) {
  TFindCDDlg dialog(startDir);
  CentreOnScreen(&dialog);
  if (dialog.exec() != QDialog::Accepted) return false;
  chosen = dialog.Directory();
  return true;
}

// Prints the time to the first paint of the main window once.
class TFirstPaint : public QObject {
 public:
  TFirstPaint(const QElapsedTimer& clock, qint64 entryShown, bool print, bool exit)
      : clock_(clock), entryShown_(entryShown), print_(print), exit_(exit) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      if (print_)
        std::fprintf(stderr,
                     "tellmark: first entry shown after %lld ms, window painted after %lld ms\n",
                     static_cast<long long>(entryShown_), static_cast<long long>(clock_.elapsed()));
      if (exit_) QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const QElapsedTimer& clock_;
  qint64 entryShown_;
  bool print_, exit_;
  bool done_ = false;
};

// Grabs the windows into dir and ends the program.
void TakeScreenshots(const QString& dir, TCallViewForm& main, TDetailsForm& details) {
  QDir().mkpath(dir);
  const auto save = [&dir](QWidget* w, const char* name) {
    QApplication::processEvents();
    const QString file = dir + "/" + name;
    if (!w->grab().save(file))
      std::fprintf(stderr, "tellmark: cannot write %s\n", qPrintable(file));
  };
  const QString us = qEnvironmentVariable("TELLMARK_SCREENSHOT_US");
  const QString intl = qEnvironmentVariable("TELLMARK_SCREENSHOT_INTL");
  // Without a call given, the first entry with comments, fax or e-mail.
  const auto withDetails = [&main] {
    for (int i = 0; i < 5000; ++i) {
      if (main.Lookup().LoadCurrent() && MakeEntryView(main.Lookup().Record()).HasDetails()) return;
      if (!main.Lookup().MoveBy(1)) return;
    }
  };
  main.SwitchToUS();
  if (!us.isEmpty())
    main.FindCall(us);
  else
    withDetails();
  main.ShowCurrentEntry();
  save(&main, "main-us.png");
  main.ViewDetailItemClick();
  save(&details, "details-us.png");
  main.TakeMapScreenshot(dir + "/map-us.png", false);
  main.SwitchToIntl();
  if (!intl.isEmpty())
    main.FindCall(intl);
  else
    withDetails();
  main.ShowCurrentEntry();
  save(&main, "main-intl.png");
  save(&details, "details-intl.png");
  main.TakeMapScreenshot(dir + "/map-intl.png", false);
  main.TakeMapScreenshot(dir + "/map-world.png", true);
  main.TakeBeaconScreenshots(dir);
  TFindCDDlg dialog(FromLocalPath(HomeDir()));
  dialog.show();
  save(&dialog, "findcd.png");
  dialog.close();
  main.close();
}

}  // namespace

int main(int argc, char** argv) {
  if (const int rc = EarlyOptions(argc, argv); rc >= 0) return rc;
  QElapsedTimer clock;
  clock.start();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName("tellmark");
  QCoreApplication::setApplicationVersion(TELLMARK_VERSION);
  InstallHelpKey(&app);
  const QStringList args = QCoreApplication::arguments();
  const bool timing = args.contains("--timing") || qEnvironmentVariableIntValue("TELLMARK_TIMING");
  const bool exitAfterPaint = args.contains("--exit-after-paint");
  const QString screenshots = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
  // One program per user: a later start is a request to this one.
  TInstanceServer instance;
  if (screenshots.isEmpty()) {
    if (TInstanceServer::HandToRunning(DataFolderArgument(args))) return 0;
    instance.Listen();
  }
  if (!screenshots.isEmpty()) {
    // Nobody is there to answer: boxes are printed and answered with OK.
    SetMessageHandler([](TMessageRequest& r) {
      std::fprintf(stderr, "tellmark: box: %s\n", qPrintable(r.text));
      return static_cast<int>(idOK);
    });
  }

  AllocIndexCaches();
  // The program's own folder, or the installed edition beside it (../share/tellmark).
  const QString programDir =
      FromLocalPath(ProgramHomeDir(ToLocalPath(QCoreApplication::applicationDirPath())));
  SetHomeDir(StartHomeDir(args.mid(1), programDir));
  SetApplicationTitle(kApplicationTitle);
  int rc = 0;
  // The windows on the data folder of the start, then on each folder a later start names, or
  // on the same folder again after the user chose to open a new edition put in it.
  QString nextFolder;
  bool reopen = false;
  for (bool first = true; first || reopen || !nextFolder.isEmpty(); first = false) {
    if (!nextFolder.isEmpty()) {
      CloseDataSet();
      SetHomeDir(WithTrailingSeparator(ToLocalPath(nextFolder)));
      nextFolder.clear();
    } else if (reopen) {
      CloseDataSet();
    }
    reopen = false;
    LocateData(AskDataDir, programDir);
    if (!OpenDataSetOrReport()) break;
    SetApplicationTitle(EditionTitle());
    TCallViewForm mainForm;
    QObject::connect(&instance, &TInstanceServer::Activated, &mainForm,
                     [&mainForm, &nextFolder](const QString& folder) {
                       BringToFront(&mainForm);
                       const QString current = QDir(FromLocalPath(HomeDir())).absolutePath();
                       if (folder.isEmpty() || QDir(folder).absolutePath() == current) return;
                       // As a new start on that folder: the window closes as usual (it may
                       // refuse, while Morse output runs) and opens again there.
                       nextFolder = folder;
                       if (!mainForm.close()) nextFolder.clear();
                     });
    QObject::connect(&mainForm, &TCallViewForm::ReopenEdition, &mainForm, [&] {
      reopen = mainForm.close();  // a close the user declines (unsaved notes) opens nothing
    });
    const qint64 entryShown = clock.elapsed();
    auto* details = new TDetailsForm(&mainForm);
    mainForm.SetDetailsForm(details);
    mainForm.CreateMapForm();
    app.setQuitOnLastWindowClosed(false);
    QObject::connect(&mainForm, &TCallViewForm::Closed, &app, &QCoreApplication::quit);
    TFirstPaint firstPaint(clock, entryShown, timing, exitAfterPaint);
    if (first && (timing || exitAfterPaint)) mainForm.installEventFilter(&firstPaint);
    CentreOnScreen(&mainForm);
    KeepOnScreen(&mainForm);  // at a large scale the window may be as large as the screen
    mainForm.show();
    if (first && !screenshots.isEmpty())
      QTimer::singleShot(0, &mainForm, [&] { TakeScreenshots(screenshots, mainForm, *details); });
    if (args.contains("--band-activity"))
      QTimer::singleShot(0, &mainForm, [&] { mainForm.ViewBandActivityItemClick(); });
    rc = app.exec();
  }
  CloseDataSet();
  FreeIndexCaches();
  return rc;
}
