// Windows that fit the screen: every window's frame inside the available area of a 1280x1024
// screen at the default scale and at 200 % (the program runs itself again with
// QT_SCALE_FACTOR=2), every column of the beacon table visible, the program options' path fields
// elided in their middle with the whole path as tooltip, the gauges' percentages readable on the
// pixels drawn (WCAG 2 contrast, 4.5:1), the main window's fields taking the room of an enlarged
// window.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "WindowTestEnv.h"
#include "callbook/UCallbook.h"
#include "labels/FLabelOptions.h"
#include "labels/FLabelSelect.h"
#include "labels/FPrintLabelsFromReportFile.h"
#include "labels/ULabelReport.h"
#include "lookup_fixture.h"
#include "map/FBeaconScheduler.h"
#include "morse/FCWOutput.h"
#include "morse/FMorseOptions.h"
#include "notes/FEditNotes.h"
#include "report/FQSLManagerList.h"
#include "report/UReport.h"
#include "settings/FProgramOptions.h"
#include "storage/UIndexEngine.h"
#include "textsearch/FProgressDlg.h"
#include "textsearch/FWordSearch.h"
#include "ui/FAbout.h"
#include "ui/FDetail.h"
#include "ui/FFindCD.h"
#include "ui/FQslLabels.h"
#include "ui/FTellmarkMain.h"
#include "widgets/FDocumentViewer.h"
#include "widgets/UContrast.h"
#include "widgets/UHelp.h"
#include "widgets/UPathEdit.h"
#include "widgets/UWindowPlace.h"
#include "wsjtx/FBandActivity.h"

namespace {

using TMakeWindow = std::function<std::unique_ptr<QWidget>()>;

// Contrast of the text of a gauge on the part of the bar between x0 and x1: the colour most
// pixels have there (the bar) against the pixel farthest from it in luminance (the text).
double TextContrast(const QImage& image, int x0, int x1, int y0, int y1) {
  QHash<QRgb, int> counts;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) ++counts[image.pixel(x, y)];
  QRgb back = 0;
  int most = -1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it)
    if (it.value() > most) most = it.value(), back = it.key();
  double best = 1;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it)
    best = std::max(best, ContrastRatio(QColor(back), QColor(it.key())));
  return best;
}

const QString kLongPath =
    "/home/operator/a folder with a rather long name/for the notes of every station/heard.ndf";

}  // namespace

class TstWindowFit : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<fixture::TFixtureEdition> edition_;
  std::unique_ptr<TestDir> iniDir_;

  // The main window as the program starts it: with its details and map windows, centred and
  // kept on the screen.
  static std::unique_ptr<TCallViewForm> MainWindow() {
    auto form = std::make_unique<TCallViewForm>();
    form->SetDetailsForm(new TDetailsForm(form.get()));
    form->CreateMapForm();
    CentreOnScreen(form.get());
    KeepOnScreen(form.get());
    return form;
  }
  static std::unique_ptr<TSetOptDlg> Options() {
    auto d = std::make_unique<TSetOptDlg>();
    TProgramSettings s;
    s.notesDataFilename = kLongPath.toStdString();
    s.reportOptions.fileName = "report.txt";
    d->SetOptions(s);
    return d;
  }
  static std::unique_ptr<TBeaconSchedulerForm> Beacons() {
    return std::make_unique<TBeaconSchedulerForm>(
        nullptr, [] { return QString("FN31PR"); },
        [] {
          return TLocalTime{12, 0, 0};
        });
  }
  static std::unique_ptr<TPrintLabelsForm> PrintJob() {
    return std::make_unique<TPrintLabelsForm>(TPrintOptions{}, TAddressStyle{}, false, nullptr);
  }
  // A window shown as the program shows it, its events handled.
  static void Show(QWidget* w) {
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::qWait(50);
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    edition_ = std::make_unique<fixture::TFixtureEdition>();
    OpenTestEdition(edition_->path());
    UseTestSettingsFile(iniDir_);
    SetMessageHandler([](TMessageRequest&) { return static_cast<int>(idOK); });
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    qInfo("available area %dx%d at scale %s", area.width(), area.height(),
          qgetenv("QT_SCALE_FACTOR").constData());
  }
  void cleanupTestCase() {
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }

  void framesFitTheScreen_data() {
    QTest::addColumn<TMakeWindow>("make");
    QTest::newRow("main window") << TMakeWindow([] { return MainWindow(); });
    QTest::newRow("beacon scheduler") << TMakeWindow([] { return Beacons(); });
    QTest::newRow("program options") << TMakeWindow([] { return Options(); });
    QTest::newRow("details") << TMakeWindow([] { return std::make_unique<TDetailsForm>(); });
    QTest::newRow("about") << TMakeWindow([] { return std::make_unique<TAboutBox>(); });
    QTest::newRow("text search") << TMakeWindow([] { return std::make_unique<TTextSearchDlg>(); });
    QTest::newRow("search progress") << TMakeWindow([] { return std::make_unique<TWaitDlg>(); });
    QTest::newRow("print labels") << TMakeWindow([] { return PrintJob(); });
    QTest::newRow("label options") << TMakeWindow([] {
      auto* report = new TLabelReportForm;
      auto d = std::make_unique<TExtLabelOptDlg>(*report, false);
      report->setParent(d.get());
      return d;
    });
    QTest::newRow("label template")
        << TMakeWindow([] { return std::make_unique<TSelectLabelTemplateDlg>(); });
    QTest::newRow("cw output") << TMakeWindow([] { return std::make_unique<TCWOutputForm>(); });
    QTest::newRow("morse options")
        << TMakeWindow([] { return std::make_unique<TSetMorseOptionsDlg>(nullptr); });
    QTest::newRow("notes editor") << TMakeWindow([] { return std::make_unique<TEditNotesForm>(); });
    QTest::newRow("qsl managers") << TMakeWindow([] { return std::make_unique<TQslMgrForm>(); });
    QTest::newRow("data location")
        << TMakeWindow([] { return std::make_unique<TFindCDDlg>(QDir::tempPath()); });
    QTest::newRow("document viewer")
        << TMakeWindow([] { return std::make_unique<TDocumentViewerForm>(); });
    QTest::newRow("help") << TMakeWindow([] { return std::make_unique<THelpForm>(); });
    QTest::newRow("qsl labels") << TMakeWindow(
        [] { return std::make_unique<TQslLabelsForm>(nullptr, QDir::tempPath().toStdString()); });
    QTest::newRow("band activity") << TMakeWindow([] {
      static TCallbook callbook;  // the fixture edition, open for the whole run
      static const bool opened = (callbook.Open(), true);
      (void)opened;
      return std::make_unique<TBandActivityForm>(callbook);
    });
  }
  // The frame inside the available area, and no window smaller than its layout needs (where
  // it is, its contents scroll and keep their own minimum).
  void framesFitTheScreen() {
    QFETCH(TMakeWindow, make);
    const std::unique_ptr<QWidget> w = make();
    Show(w.get());
    const QRect area = w->screen()->availableGeometry();
    QVERIFY2(area.contains(w->frameGeometry()),
             qPrintable(QString("frame %1,%2 %3x%4 outside %5x%6")
                            .arg(w->frameGeometry().x())
                            .arg(w->frameGeometry().y())
                            .arg(w->frameGeometry().width())
                            .arg(w->frameGeometry().height())
                            .arg(area.width())
                            .arg(area.height())));
    const QSize need = w->minimumSizeHint();
    QVERIFY2(w->width() >= need.width() && w->height() >= need.height(),
             qPrintable(QString("%1x%2 smaller than its layout's %3x%4")
                            .arg(w->width())
                            .arg(w->height())
                            .arg(need.width())
                            .arg(need.height())));
    if (auto* scroll = w->findChild<QScrollArea*>("CentralScroll")) {
      const QWidget* client = scroll->widget();
      QVERIFY(client->width() >= client->minimumSizeHint().width());
      QVERIFY(client->height() >= client->minimumSizeHint().height());
      // Scroll bars only where the screen is too small for the client area.
      if (client->minimumSizeHint().width() + 100 < area.width() &&
          client->minimumSizeHint().height() + 150 < area.height()) {
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
      }
    }
  }

  // Each of the five band columns, and the two before them, inside the table's viewport.
  void beaconColumnsAllVisible() {
    const auto form = Beacons();
    Show(form.get());
    const auto* grid = form->findChild<QTableWidget*>("BeaconGrid");
    QVERIFY(grid);
    QCOMPARE(grid->columnCount(), 7);
    const QHeaderView* header = grid->horizontalHeader();
    for (int c = 0; c < grid->columnCount(); ++c) {
      const int right = header->sectionViewportPosition(c) + header->sectionSize(c);
      QVERIFY2(right <= grid->viewport()->width(),
               qPrintable(QString("column %1 (%2) ends at %3 of %4")
                              .arg(c)
                              .arg(grid->item(0, c)->text())
                              .arg(right)
                              .arg(grid->viewport()->width())));
      // The widest text of the column fits its cell.
      int text = 0;
      for (int r = 0; r < grid->rowCount(); ++r)
        text = std::max(text, grid->fontMetrics().horizontalAdvance(grid->item(r, c)->text()));
      QVERIFY(text < header->sectionSize(c));
    }
    QCOMPARE(grid->item(0, 6)->text(), QString("28200 kHz"));
    const int lastRow = grid->rowCount() - 1;
    QVERIFY(grid->rowViewportPosition(lastRow) + grid->rowHeight(lastRow) <=
            grid->viewport()->height());
  }

  // A path wider than its field: the middle elided while the field has no focus, the whole
  // path as tooltip and as the field's text; a short path whole.
  void optionPathsElidedInTheMiddle() {
    const auto d = Options();
    Show(d.get());
    auto* notes = d->findChild<TPathEdit*>("NotesDataFilenameEdit");
    QVERIFY(notes);
    QVERIFY(!notes->hasFocus());
    QCOMPARE(notes->text(), kLongPath);
    QCOMPARE(notes->toolTip(), kLongPath);
    const QString shown = notes->ShownText();
    QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    QVERIFY2(shown.startsWith("/home/"), qPrintable(shown));
    QVERIFY2(shown.endsWith("heard.ndf"), qPrintable(shown));
    QVERIFY(notes->fontMetrics().horizontalAdvance(shown) <= notes->width());
    // The field shows at least 40 characters of a path.
    QVERIFY(notes->width() >= 40 * notes->fontMetrics().averageCharWidth());
    // With the focus, the whole path to edit.
    d->findChild<QTabWidget*>("OptionsNotebook")->setCurrentIndex(0);
    notes->setFocus();
    QTRY_VERIFY(notes->hasFocus());
    QCOMPARE(notes->ShownText(), kLongPath);
    // The report file's short name whole, its tooltip the same.
    auto* report = d->findChild<TPathEdit*>("RprtFilenameEdit");
    QVERIFY(report);
    QCOMPARE(report->ShownText(), QString("report.txt"));
    QCOMPARE(report->toolTip(), QString("report.txt"));
    report->setText("/srv/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/q/r/s/t/u/v/w/x/y/z/report.txt");
    QCOMPARE(report->toolTip(), report->text());
    QVERIFY(d->findChild<TPathEdit*>("LblPrintToEdit"));
  }

  void gaugeTextReadable_data() {
    QTest::addColumn<TMakeWindow>("make");
    QTest::newRow("search progress") << TMakeWindow([] { return std::make_unique<TWaitDlg>(); });
    QTest::newRow("print labels") << TMakeWindow([] { return PrintJob(); });
  }
  // The percentage at 50 %: its digits over the filled part, "%" over the rest; each part's
  // text against its background, measured on the drawn pixels.
  void gaugeTextReadable() {
    QFETCH(TMakeWindow, make);
    const std::unique_ptr<QWidget> w = make();
    auto* gauge = w->findChild<QProgressBar*>("Gauge");
    QVERIFY(gauge);
    gauge->setValue(50);
    gauge->setFormat("8888%p%");  // text on both sides of the middle
    Show(w.get());
    const QImage image = gauge->grab().toImage();
    const int mid = image.width() / 2, h = image.height();
    const double filled = TextContrast(image, mid / 3, mid - 3, 4, h - 4);
    const double rest = TextContrast(image, mid + 3, image.width() - mid / 3, 4, h - 4);
    qInfo("contrast %.2f on the filled part, %.2f beside it", filled, rest);
    QVERIFY2(filled >= 4.5, qPrintable(QString::number(filled)));
    QVERIFY2(rest >= 4.5, qPrintable(QString::number(rest)));
  }

  // Enlarged, the window's entry fields take the room: the call and county boxes, the address
  // and the licence and QRA boxes wider, the two boxes taller; the window is not of a fixed
  // size.
  void mainWindowGrowsWhenEnlarged() {
    const auto form = MainWindow();
    Show(form.get());
    QVERIFY(form->minimumWidth() < form->maximumWidth());
    auto* call = form->findChild<QComboBox*>("CallEdit");
    auto* county = form->findChild<QComboBox*>("CountyEdit");
    auto* qth = form->findChild<QLabel*>("QTHText");
    auto* licence = form->findChild<QWidget*>("LicenceGrp");
    auto* qra = form->findChild<QWidget*>("QRABox");
    QVERIFY(call && county && qth && licence && qra);
    const QSize callBefore = call->size(), countyBefore = county->size(), qthBefore = qth->size(),
                licenceBefore = licence->size(), qraBefore = qra->size();
    const QRect area = form->screen()->availableGeometry();
    const QSize larger = (form->size() + QSize(200, 150)).boundedTo(area.size() - QSize(20, 40));
    if (larger.width() <= form->width() + 50 || larger.height() <= form->height() + 50)
      QSKIP("no room on this screen to enlarge the window");
    form->resize(larger);
    QTRY_COMPARE(form->size(), larger);
    QTest::qWait(50);
    qInfo("call %d->%d county %d->%d qth %dx%d->%dx%d", callBefore.width(), call->width(),
          countyBefore.width(), county->width(), qthBefore.width(), qthBefore.height(),
          qth->width(), qth->height());
    QVERIFY2(call->width() > callBefore.width(), qPrintable(QString::number(call->width())));
    QVERIFY(county->width() > countyBefore.width());
    QVERIFY(qth->width() > qthBefore.width() + 50);
    QVERIFY(qth->height() >= qthBefore.height());
    QVERIFY(licence->height() > licenceBefore.height() + 50);
    QVERIFY(qra->height() > qraBefore.height() + 50);
    QVERIFY(licence->width() + qra->width() > licenceBefore.width() + qraBefore.width() + 50);
  }

  // All of the above again at 200 %, in a run of its own (the scale is fixed at start).
  void atDoubleScale() {
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) QSKIP("this run is the scaled one");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"framesFitTheScreen", "beaconColumnsAllVisible", "optionPathsElidedInTheMiddle",
                 "gaugeTextReadable"});
    QVERIFY(child.waitForFinished(120000));
    const QByteArray out = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the screen (import -window root) with the two
  // gauges at 50 % and a message box with a short text (progress-<tag>.png,
  // printlabels-<tag>.png, messagebox-<tag>.png).
  void screenshots() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    const QString tag = qEnvironmentVariable("TELLMARK_SCREENSHOT_TAG", "default");
    QDir().mkpath(dir);
    const auto shoot = [&](QWidget* w, const QString& name) {
      auto* gauge = w->findChild<QProgressBar*>("Gauge");
      gauge->setValue(50);
      w->show();
      QTest::qWait(1500);
      QVERIFY(QProcess::execute("import", {"-window", "root", dir + "/" + name}) == 0);
      w->hide();
    };
    TWaitDlg wait;
    shoot(&wait, "progress-" + tag + ".png");
    const auto job = PrintJob();
    shoot(job.get(), "printlabels-" + tag + ".png");
    // A box with a short text and the program's title (the real box, closed after the shot).
    const TMessageHandler answering = SetMessageHandler({});
    QTimer::singleShot(0, [&] {
      QTest::qWait(1500);
      QProcess::execute("import", {"-window", "root", dir + "/messagebox-" + tag + ".png"});
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    ShowErrorBox(kCantStartNotepad);
    SetMessageHandler(answering);
  }
};

// The offscreen platform as a 1280x1024 screen at 96 dpi, as the people we build for use it.
int main(int argc, char** argv) {
  QTemporaryFile config(QDir::tempPath() + "/tst_windowfit-XXXXXX.json");
  if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && config.open()) {
    config.write(R"({"screens": [{"name": "Screen1280", "x": 0, "y": 0, "width": 1280,
      "height": 1024, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toLocal8Bit());
  }
  QApplication app(argc, argv);
  TstWindowFit test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_windowfit.moc"
