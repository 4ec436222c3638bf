// tellmark [HOMEDIR]: the desktop program.
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

#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "ui/FDetail.h"
#include "ui/FFindCD.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"
#include "widgets/UWindowPlace.h"

namespace {

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
  LocateData(AskDataDir, programDir);
  bool opened = OpenDataSetOrReport();
  if (opened) SetApplicationTitle(EditionTitle());

  int rc = 0;
  // Again after the user chose to open a new edition put in the data folder.
  for (bool first = true; opened; first = false) {
    bool reopen = false;
    if (!first) SetApplicationTitle(EditionTitle());
    TCallViewForm mainForm;
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
    mainForm.show();
    if (first && !screenshots.isEmpty())
      QTimer::singleShot(0, &mainForm, [&] { TakeScreenshots(screenshots, mainForm, *details); });
    rc = app.exec();
    if (!reopen) break;
    CloseDataSet();
    opened = OpenDataSetOrReport();
  }
  CloseDataSet();
  FreeIndexCaches();
  return rc;
}
