// The QSL label window: a log's labels, the stations the directory does not know, a preview and
// a print on the template's own paper, and the log marked once the user says the print is good.
#include <QDir>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "WindowTestEnv.h"
#include "builder/ULabelTemplates.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "ui/FQslLabels.h"
#include "widgets/UMessages.h"

namespace {

const char* const kLog =
    "Test log\n<EOH>\n"
    "<CALL:4>W1AW <QSO_DATE:8>20240105 <TIME_ON:4>1432 <FREQ:6>14.025 <MODE:2>CW "
    "<RST_SENT:3>599 <EOR>\n"
    "<CALL:5>K1ABC <QSO_DATE:8>19980501 <TIME_ON:4>1100 <BAND:3>15m <MODE:3>SSB <RST_SENT:2>59 "
    "<EOR>\n"
    "<CALL:5>K1ABC <QSO_DATE:8>20240107 <TIME_ON:4>1200 <FREQ:6>14.200 <MODE:3>SSB "
    "<RST_SENT:2>59 <EOR>\n"
    "<CALL:6>ZZ9ZZZ <QSO_DATE:8>20240122 <TIME_ON:4>1600 <BAND:3>10m <MODE:3>FT8 "
    "<RST_SENT:3>-10 <QSL_SENT:1>N <EOR>\n"
    "<CALL:6>DL1ABC <QSO_DATE:8>20240109 <TIME_ON:4>0700 <FREQ:5>7.010 <MODE:2>CW "
    "<RST_SENT:3>579 <QSL_SENT:1>Y <EOR>\n";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

QSizeF PdfPageSize(const QString& pdf) {
  QProcess p;
  p.start("pdfinfo", {pdf});
  p.waitForFinished(30000);
  const QRegularExpressionMatch m = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")
                                        .match(QString::fromUtf8(p.readAllStandardOutput()));
  return m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
}

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TstQslLabels : public QObject {
  Q_OBJECT

 private:
  TestDir editionDir_;
  TestDir work_;
  std::unique_ptr<TestDir> iniDir_;
  QList<TMessageRequest> boxes_;
  int answer_ = idYes;

  std::string WriteLog() const {
    const std::string log = work_.file("log.adi");
    std::ofstream(log, std::ios::binary | std::ios::trunc) << kLog;
    return log;
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    TBuildInput in = fixture::Input();
    in.entities.AddEntity({291, "United States", "NA", 5, 8, {"K", "N", "W"}});
    in.entities.AddEntity({230, "Germany", "EU", 14, 28, {"DL"}});
    WriteEdition(in, editionDir_.path());
    WriteLabelTemplates(editionDir_.path());
    OpenTestEdition(editionDir_.path());
    UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
  }
  void cleanupTestCase() {
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }

  // The window's summary names the unknown call and the contact before the grant; the labels
  // leave out what was sent.
  void summaryAndUnknownCalls() {
    TQslLabelsForm form(nullptr, HomeDir());
    QVERIFY(form.SetLog(QString::fromStdString(WriteLog())));
    QCOMPARE(form.UnknownCallsText(), QString("Not in the directory (bureau labels): ZZ9ZZZ"));
    const QString summary = form.SummaryText();
    QVERIFY2(summary.contains("contacts on labels: 4\n"), qPrintable(summary));
    QVERIFY(summary.contains("contacts already sent (QSL_SENT Y): 1\n"));
    QVERIFY(summary.contains("stations: 3, labels: 4\n"));
    QVERIFY(
        summary.contains("K1ABC: 1 contact before the licence's grant date (1999-07-04): "
                         "bureau label without the current holder's address"));
    // W1AW and K1ABC direct, then K1ABC before the grant and ZZ9ZZZ by the bureau.
    QCOMPARE(form.Job().labels.size(), size_t{4});
    QVERIFY(!form.Job().labels[0].bureau);
    QVERIFY(form.Job().labels[3].bureau);
    QVERIFY(!form.SetLog(QString::fromStdString(work_.file("none.adi"))));
    QVERIFY(form.SummaryText().contains("No such file or directory"));
  }

  // The preview on each template's paper (Letter for Avery, A4 for Zweckform); a print from it
  // that the user confirms marks the contacts in the log, nothing else changes.
  void previewOnTheTemplatesPaper_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::newRow("Avery 5160") << "Avery 5160" << 612.0 << 792.0;
    QTest::newRow("Zweckform 3490") << "Zweckform 3490" << 595.28 << 841.89;
  }
  void previewOnTheTemplatesPaper() {
    QFETCH(QString, entry);
    QFETCH(double, width);
    QFETCH(double, height);
    const std::string log = WriteLog();
    TQslLabelsForm form(nullptr, HomeDir());
    form.SetTemplate(entry);
    QVERIFY(form.SetLog(QString::fromStdString(log)));
    const QString pdf = QString::fromStdString(work_.file("preview.pdf"));
    QFile::remove(pdf);
    int previews = 0;
    QPageLayout::Orientation orientation = QPageLayout::Landscape;
    TQslLabelsForm::SetPreviewHandler([&](QPrintPreviewDialog& d) {
      ++previews;
      QPrinter* p = d.printer();
      orientation = p->pageLayout().orientation();
      p->setOutputFormat(QPrinter::PdfFormat);
      p->setOutputFileName(pdf);
      emit d.paintRequested(p);
      return true;  // printed from the preview
    });
    boxes_.clear();
    answer_ = idNo;  // not marked
    form.Preview();
    QCOMPARE(previews, 1);
    QCOMPARE(orientation, QPageLayout::Portrait);
    const QSizeF size = PdfPageSize(pdf);
    QVERIFY2(std::abs(size.width() - width) < 1 && std::abs(size.height() - height) < 1,
             qPrintable(QString("%1 x %2").arg(size.width()).arg(size.height())));
    const QString text = PdfText(pdf);
    QVERIFY2(text.contains("To: W1AW"), qPrintable(text));
    QVERIFY(text.contains(QRegularExpression("2024-01-05 +14:32 +14.025 +CW +599")));
    QVERIFY(text.contains("ARRL HQ STATION"));
    QVERIFY(!text.contains("DL1ABC"));  // sent already
    QCOMPARE(boxes_.size(), 1);
    QVERIFY(boxes_[0].text.startsWith("Were the labels printed right? Then 4 contacts are marked"));
    QCOMPARE(Slurp(log), std::string(kLog));
    // Yes: QSL_SENT Y and QSL_SDATE in the four, the rest of the log as it was.
    answer_ = idYes;
    form.Preview();
    TQslLabelsForm::SetPreviewHandler({});
    const std::string marked = Slurp(log);
    QCOMPARE(QString::fromStdString(marked).count(QRegularExpression("<QSL_SDATE:8>\\d{8}")), 4);
    std::string back = QString::fromStdString(marked)
                           .remove(QRegularExpression("<QSL_SDATE:8>\\d{8} ?"))
                           .toStdString();
    // ZZ9ZZZ's N became Y; the others gained the field.
    QString expected = QString(kLog).replace("<QSL_SENT:1>N", "<QSL_SENT:1>Y");
    QCOMPARE(QString::fromStdString(back).remove(QRegularExpression("<QSL_SENT:1>Y ?(?=<EOR>)")),
             expected.remove(QRegularExpression("<QSL_SENT:1>Y ?(?=<EOR>)")));
    // Nothing left to send: no labels, no preview.
    QCOMPARE(form.Job().labels.size(), size_t{0});
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the window and its preview on the screen
  // (qsl-window.png, qsl-preview.png).
  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    std::ofstream(work_.file("shot.adi"), std::ios::binary | std::ios::trunc) << kLog;
    TQslLabelsForm form(nullptr, HomeDir());
    form.SetLog(QString::fromStdString(work_.file("shot.adi")));
    form.show();
    QTest::qWait(1500);
    QVERIFY(QProcess::execute("import", {"-window", "root", dir + "/qsl-window.png"}) == 0);
    TQslLabelsForm::SetPreviewHandler([&](QPrintPreviewDialog& d) {
      d.resize(1100, 950);
      d.show();
      QTest::qWait(2500);
      QProcess::execute("import", {"-window", "root", dir + "/qsl-preview.png"});
      d.close();
      return false;
    });
    form.Preview();
    TQslLabelsForm::SetPreviewHandler({});
  }
};

QTEST_MAIN(TstQslLabels)
#include "tst_qsllabels.moc"
