// Label printing from the main window and the label windows on the fixture edition: the plain
// labels of the "old" method to a file, their messages, the form feed, the printer spool with a
// print server that cannot be reached, and the label menu by method; label sheets printed to
// PDF and read back with pdftotext, the design-mode preview, the extended label options with
// templates, and the print job over the report file.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "WindowTestEnv.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "labels/FLabelOptions.h"
#include "labels/FLabelSelect.h"
#include "labels/FPrintLabelsFromReportFile.h"
#include "labels/ULabel.h"
#include "labels/ULabelJob.h"
#include "labels/ULabelLayout.h"
#include "labels/ULabelPrinter.h"
#include "labels/ULabelReport.h"
#include "lookup_fixture.h"
#include "report/UReport.h"
#include "settings/FProgramOptions.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "widgets/UDataText.h"
#include "widgets/UMessages.h"

namespace {

TBuildInput LabelsInput() {
  TBuildInput in = fixture::Input();
  std::string many = "P1";
  for (int i = 2; i <= 11; ++i) many += ", P" + std::to_string(i);
  in.intl.push_back(fixture::Intl({{1, "DL9BIG"}, {3, many}, {4, "Germany"}, {5, "Germany"}}));
  return in;
}

// The reviewers' labels (code page 437 lines, the call on the first line).
std::vector<std::vector<std::string>> ReviewLabels() {
  const TSourceTables tables = LoadSourceTables(std::string(TELLMARK_SOURCE_DIR) + "/data/sources");
  const TBuildInput in = GenerateSample(tables, 3000, 3000, 1999);
  const TAddressStyle style{1, true};
  auto label = [&](const TBuildEntry& e) {
    TEntryRecord r;
    r.db = e.db;
    for (const auto& [tag, text] : e.fields) AppendField(r, tag, text);
    return FormatAddressLines(r, style);
  };
  std::vector<std::vector<std::string>> all, accented;
  for (const auto* list : {&in.us, &in.intl})
    for (const TBuildEntry& e : *list) {
      all.push_back(label(e));
      const std::string& first = all.back().front();
      if (std::any_of(first.begin(), first.end(), [](char c) { return c & 0x80; }))
        accented.push_back(all.back());
    }
  auto longer = [](const auto& a, const auto& b) { return a.front().size() > b.front().size(); };
  std::stable_sort(all.begin(), all.end(), longer);
  std::stable_sort(accented.begin(), accented.end(), longer);
  all.resize(20);
  for (size_t i = 0; i < accented.size() && i < 5; ++i) all.push_back(accented[i]);
  // Two of the letters that printed as blanks.
  all.push_back({"Jorge S\xA0nchez, EA7XYZ", "Calle Larios 5", "29005 M\xA0laga", "Spain"});
  all.push_back(
      {"Mar\xA1"
       "a Jos\x82 Garc\xA1"
       "a, HK3ABC",
       "Carrera 7 # 12-34", "Bogot\xA0", "Colombia"});
  return all;
}

QByteArray FileBytes(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TstLabels : public QObject {
  Q_OBJECT

 private:
  TestDir editionDir_;
  TestDir work_;
  std::unique_ptr<TestDir> iniDir_;
  QString ini_;
  QList<TMessageRequest> boxes_;
  int answer_ = idOK;
  std::unique_ptr<TCallViewForm> form_;

  QString Out() const { return QString::fromStdString(work_.file("labels.txt")); }
  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  TCallViewForm* Create(const char* call, const QString& labels, int printMethod = 0) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write the ini");
    f.write(QString("[StartUp]\nPrgVersion=S1998\nLastCall=%1\n[Labels]\n%2\n[Printing]\n"
                    "PrintMethod=%3\n")
                .arg(call, labels)
                .arg(printMethod)
                .toLocal8Bit());
    f.close();
    form_ = std::make_unique<TCallViewForm>();
    return form_.get();
  }
  QAction* A(const char* name) const {
    auto* a = form_->findChild<QAction*>(name);
    if (!a) qFatal("no action %s", name);
    return a;
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    WriteEdition(LabelsInput(), editionDir_.path());
    OpenTestEdition(editionDir_.path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
  }
  void cleanupTestCase() {
    form_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() {
    boxes_.clear();
    answer_ = idOK;
    QFile::remove(Out());
    QFile::remove(QString::fromStdString(LabelSpoolPath()));
  }
  void cleanup() {
    form_.reset();
    SetLabelPrintServer("");
  }

  void labelMenuByMethod() {
    for (int method : {0, 1}) {
      Create("W1AW", "", method);
      const bool old = method == 0;
      QCOMPARE(A("FilePrintLabelItem")->isEnabled(), old);
      QCOMPARE(A("FileSendFormFeedItem")->isEnabled(), old);
      QCOMPARE(A("FileMarkLabelForPrintingItem")->isEnabled(), !old);
      QCOMPARE(A("FileStartPrintLabelsItem")->isEnabled(), !old);
      QCOMPARE(A("FilePrintLabelItem")->shortcut(), old ? QKeySequence("Ctrl+P") : QKeySequence());
      QCOMPARE(A("FileMarkLabelForPrintingItem")->shortcut(),
               old ? QKeySequence() : QKeySequence("Ctrl+P"));
    }
  }

  // The padded label of a U.S. and of an International entry, then a form feed, in one file.
  void printLabelsAndFormFeed() {
    Create("W1AW", "NumLines=6\nNumChar=40\nLeftMargin=2\nOutfileName=" + Out());
    A("FilePrintLabelItem")->trigger();
    form_->FindCall("DL1ABC");
    A("FilePrintLabelItem")->trigger();
    A("FileSendFormFeedItem")->trigger();
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(FileBytes(Out()),
             QByteArray("  ARRL HQ STATION, W1AW\r\n  225 MAIN ST\r\n  NEWINGTON, CT 06111\r\n"
                        "  United States\r\n\r\n\r\n"
                        "  Hans Mueller, DL1ABC\r\n  Hauptstrasse 5\r\n  10115 Berlin\r\n"
                        "  Germany\r\n\r\n\r\n\f"));
  }

  void printFailuresAndTheirMessages() {
    // Eleven address pieces do not make an address block.
    Create("DL9BIG", "OutfileName=" + Out());
    A("FilePrintLabelItem")->trigger();
    QCOMPARE(Texts(), QStringList({kLabelTooLargeMessage}));
    QCOMPARE(boxes_.first().kind, TMessageKind::Error);
    QVERIFY(!QFile::exists(Out()));
    // A line longer than NumChar, and more lines than NumLines.
    for (const char* size : {"NumChar=10", "NumLines=3"}) {
      boxes_.clear();
      Create("W1AW", QString(size) + "\nOutfileName=" + Out());
      A("FilePrintLabelItem")->trigger();
      QCOMPARE(Texts(), QStringList({kLabelTooLargeMessage}));
      QVERIFY(!QFile::exists(Out()));
    }
    // An output that cannot be opened.
    boxes_.clear();
    const QString missing = QString::fromStdString(work_.file("no/such/labels.txt"));
    Create("W1AW", "OutfileName=" + missing);
    A("FilePrintLabelItem")->trigger();
    A("FileSendFormFeedItem")->trigger();
    QCOMPARE(Texts(),
             QStringList({"Error during print: Error: 3", "Error during print: Error: 3"}));
    QVERIFY(!form_->Busy());
  }

  // "prn" spools and the status line says so; a form feed with no print server reachable says
  // why once and asks: Cancel keeps the labels (and the end of the program does not ask again),
  // Yes sends them again, No discards them.
  void printerSpoolWithoutServer() {
    SetLabelPrintServer(work_.file("no-server.sock"));
    Create("W1AW", "OutfileName=prn");
    A("FilePrintLabelItem")->trigger();
    QVERIFY(LabelSpoolPending());
    QCOMPARE(form_->statusBar()->currentMessage(), QString("1 label waiting for the printer"));
    A("FilePrintLabelItem")->trigger();
    QCOMPARE(form_->statusBar()->currentMessage(), QString("2 labels waiting for the printer"));
    const QByteArray spooled = FileBytes(QString::fromStdString(LabelSpoolPath()));
    QVERIFY(spooled.startsWith("ARRL HQ STATION, W1AW\r\n"));
    answer_ = idCancel;
    A("FileSendFormFeedItem")->trigger();
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].text.startsWith("Error during print: The print server "),
             qPrintable(boxes_[0].text));
    QVERIFY(boxes_[0].text.contains("cannot be reached"));
    QVERIFY(boxes_[0].text.contains("2 labels waiting for the printer"));
    QCOMPARE(boxes_[0].flags & 0x0F, int(mbYesNoCancel));
    QCOMPARE(FileBytes(QString::fromStdString(LabelSpoolPath())), spooled);
    form_->close();
    QCOMPARE(boxes_.size(), 1);  // once
    QCOMPARE(FileBytes(QString::fromStdString(LabelSpoolPath())), spooled);
    // Yes sends again; it fails again and asks again; No discards.
    boxes_.clear();
    int asked = 0;
    SetMessageHandler([&](TMessageRequest& r) {
      boxes_ << r;
      return ++asked == 1 ? idYes : idNo;
    });
    Create("W1AW", "OutfileName=prn");
    A("FileSendFormFeedItem")->trigger();
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    QCOMPARE(asked, 2);
    QVERIFY(!LabelSpoolPending());
    QCOMPARE(LabelSpoolStatusText(), std::string());
    form_->close();
    QCOMPARE(boxes_.size(), 2);
  }

  // "Test" on the labels page prints the sample label with the options as they stand in the
  // dialog (not yet taken), and says where it went.
  void testButtonOfTheLabelOptions() {
    TSetOptDlg d;
    TProgramSettings settings;
    settings.printOptions.outfileName = "prn";
    settings.reportOptions.fileName = work_.file("report.txt");
    d.SetOptions(settings);
    d.TestPrintLabel = PrintTestLabel;
    d.UpdateHookButtons();
    auto* test = d.findChild<QPushButton*>("LblTestPrintBtn");
    QVERIFY(test->isEnabled());
    d.findChild<QLineEdit*>("LblNumLinesEdit")->setText("4");
    d.findChild<QLineEdit*>("LblNumCharEdit")->setText("20");
    d.findChild<QLineEdit*>("LblLeftMarginEdit")->setText("1");
    d.findChild<QLineEdit*>("LblPrintToEdit")->setText(Out());
    test->click();
    QCOMPARE(Texts(), QStringList({"A test label was written to " + Out() + "."}));
    QCOMPARE(FileBytes(Out()), QByteArray(" John \"Long Name\" Doe\r\n Famous DXer house\r\n"
                                          " 9933 Test Hill Rd\r\n Upper Testbanks, XY \r\n"));
    // To the printer: spooled, and said so.
    SetLabelPrintServer(work_.file("no-server.sock"));
    boxes_.clear();
    d.findChild<QLineEdit*>("LblPrintToEdit")->setText("prn");
    test->click();
    QCOMPARE(Texts(), QStringList({"A test label was spooled for the printer: 1 label waiting for "
                                   "the printer. \"Send form feed\" prints it."}));
    QVERIFY(LabelSpoolPending());
  }

  // ---- Label sheets (the template method).

  // A label sheet printed to PDF: the dialog answered by writing the PDF file.
  static void PrintToPdf(const QString& pdf) {
    TLabelReportForm::SetPrintDialogHandler([pdf](QPrinter& p) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(pdf);
      return true;
    });
  }
  static QString PdfText(const QString& pdf, int page = 0, const char* mode = "-layout") {
    QStringList args{mode};
    if (page > 0) args << "-f" << QString::number(page) << "-l" << QString::number(page);
    QProcess p;
    p.start("pdftotext", args << pdf << "-");
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  static int PdfPages(const QString& pdf) {
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished(30000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression("Pages:\\s+(\\d+)").match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  }
  static std::vector<std::string> Numbered(int i) {
    const QString n = QString("%1").arg(i, 2, 10, QChar('0'));
    return {("NAME" + n).toStdString(), ("STREET" + n).toStdString(), ("CITY" + n).toStdString()};
  }
  std::string Template(const char* file) const {
    return ResolveDataPath(editionDir_.path(), std::string("labels\\") + file);
  }

  // Marking three entries keeps them until the user lets them go after printing; the hint is
  // asked until the user answers No.
  void markAndPrintThreeLabels() {
    Create("W1AW", "", 1);
    answer_ = idNo;
    A("FileMarkLabelForPrintingItem")->trigger();
    QCOMPARE(Texts(), QStringList({"To start the printing process, choose \"Print labels\"  in "
                                   "the \"File\" menu.\r\rDo you like to see this message in the "
                                   "future?"}));
    QVERIFY(!form_->Settings().printProcessInfo);
    form_->FindCall("DL1ABC");
    A("FileMarkLabelForPrintingItem")->trigger();
    form_->FindCall("K1ABC");
    A("FileMarkLabelForPrintingItem")->trigger();
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{3});
    const QString pdf = QString::fromStdString(work_.file("three.pdf"));
    PrintToPdf(pdf);
    boxes_.clear();
    A("FileStartPrintLabelsItem")->trigger();  // answered No: the labels stay
    QCOMPARE(Texts(), QStringList({kAskDeleteMarkedLabels}));
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{3});
    QVERIFY(form_->LabelReport()->DesignMode());
    QCOMPARE(PdfPages(pdf), 1);
    const QStringList lines = PdfText(pdf).split('\n');
    const QRegularExpression row(
        "ARRL HQ STATION, W1AW\\s+Hans Mueller, DL1ABC\\s+JOHN Q SMITH, K1ABC");
    QVERIFY2(lines.indexOf(row) >= 0, qPrintable(lines.join('\n')));
    QVERIFY(!PdfText(pdf).contains("Famous DXer"));
    answer_ = idYes;
    A("FileStartPrintLabelsItem")->trigger();
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{0});
    boxes_.clear();
    A("FileStartPrintLabelsItem")->trigger();
    QCOMPARE(Texts(), QStringList({kNothingToPrint}));
    TLabelReportForm::SetPrintDialogHandler({});
  }

  // A print dialog cancelled prints nothing and asks nothing: the labels stay.
  void cancelledPrintKeepsTheLabels() {
    TLabelReportForm report;
    for (int i = 1; i <= 3; ++i) report.AddLabel(Numbered(i));
    int dialogs = 0;
    TLabelReportForm::SetPrintDialogHandler([&](QPrinter&) {
      ++dialogs;
      return false;
    });
    answer_ = idYes;
    report.PrintMarkedLabels(nullptr);
    TLabelReportForm::SetPrintDialogHandler({});
    QCOMPARE(dialogs, 1);
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(report.LabelCount(), size_t{3});
    QCOMPARE(PrintDialogTitle(3), QString("Print 3 labels"));
  }

  // A label that cannot fit even at the smallest size is named before printing; No prints
  // nothing, Yes prints.
  void labelThatCannotFitIsNamed() {
    TLabelReportForm report;
    report.LoadTemplate(Template("zf4780.cls"));
    report.AddLabel(Numbered(1));
    report.AddLabel({"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ, DL1XYZ", "STREET"});
    const QString pdf = QString::fromStdString(work_.file("cut.pdf"));
    QFile::remove(pdf);
    PrintToPdf(pdf);
    answer_ = idNo;
    QVERIFY(!report.PrintLabels(nullptr));
    QCOMPARE(Texts(),
             QStringList({"1 label does not fit the printable area even at 6 pt; their lines "
                          "would be cut:\n2: ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ, "
                          "DL1XYZ\n\nPrint anyway?"}));
    QVERIFY(!QFile::exists(pdf));
    answer_ = idYes;
    QVERIFY(report.PrintLabels(nullptr));
    TLabelReportForm::SetPrintDialogHandler({});
    QVERIFY(PdfText(pdf).contains("DL1XYZ"));  // wrapped onto its own line
    QCOMPARE(report.LabelCount(), size_t{2});
  }

  // Marking the entry shown twice asks; the count goes to the status line.
  void markingTwiceAsksAndCounts() {
    Create("W1AW", "", 1);
    answer_ = idNo;
    A("FileMarkLabelForPrintingItem")->trigger();  // the hint, answered No
    QCOMPARE(form_->statusBar()->currentMessage(), QString("1 label marked for printing"));
    boxes_.clear();
    A("FileMarkLabelForPrintingItem")->trigger();
    QCOMPARE(Texts(), QStringList({kAskMarkAgain}));
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{1});
    answer_ = idYes;
    A("FileMarkLabelForPrintingItem")->trigger();
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{2});
    form_->FindCall("DL1ABC");
    boxes_.clear();
    A("FileMarkLabelForPrintingItem")->trigger();
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(form_->statusBar()->currentMessage(), QString("3 labels marked for printing"));
  }

  // The reviewers' labels on every predefined sheet: the 20 longest first lines of a sample
  // edition (3,000 U.S. and 3,000 International entries) and names with accents. Every word of
  // a label, its call above all, stands whole in the PDF text, or the label is named in the
  // warning before printing.
  void longestLinesOnEveryTemplate_data() {
    QTest::addColumn<QString>("file");
    for (const auto& t : PredefinedTemplateNames()) QTest::newRow(t.file) << QString(t.file);
  }
  void longestLinesOnEveryTemplate() {
    QFETCH(QString, file);
    static const std::vector<std::vector<std::string>> labels = ReviewLabels();
    TLabelReportForm report;
    report.LoadTemplate(Template(file.toStdString().c_str()));
    for (const auto& l : labels) report.AddLabel(l);
    const QString pdf = QString::fromStdString(work_.file("review.pdf"));
    QFile::remove(pdf);
    PrintToPdf(pdf);
    QString warning;
    SetMessageHandler([&](TMessageRequest& r) {
      warning = r.text;
      return int(idYes);
    });
    QVERIFY(report.PrintLabels(nullptr));
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    TLabelReportForm::SetPrintDialogHandler({});
    // Compatibility form: the font's ligatures (U+FB00 "ff" ...) read as their letters.
    const QString text = PdfText(pdf, 0, "-raw").normalized(QString::NormalizationForm_KC);
    QVERIFY(!text.isEmpty());
    int whole = 0;
    for (size_t i = 0; i < labels.size(); ++i) {
      const QString nr = QString("\n%1: ").arg(i + 1);
      const bool warned = warning.contains(nr);
      QString lost;
      for (const std::string& line : labels[i])
        for (const QString& w :
             FromData(line).split(QRegularExpression("[ ,]+"), Qt::SkipEmptyParts))
          if (!text.contains(
                  QRegularExpression("(^|[\\s,])" + QRegularExpression::escape(w) + "($|[\\s,])")))
            lost += " " + w;
      const bool all = lost.isEmpty();
      QVERIFY2(all || warned, qPrintable(QString("label %1 (%2) lost%3 on %4 unwarned")
                                             .arg(i + 1)
                                             .arg(FromData(labels[i].front()), lost, file)));
      whole += all;
    }
    qInfo("%s: %d of %zu labels whole; warning: %s", qPrintable(file), whole, labels.size(),
          qPrintable(warning.isEmpty() ? QString("none") : warning.left(120)));
    // The predefined sheets are set up so that these labels fit.
    QCOMPARE(warning, QString());
  }

  // 31 labels on the Avery 5160 sheet: 30 on the first page in three columns, across then
  // down, the 31st on the second; the first label's text inside the first label of the sheet.
  void thirtyOneLabelsOnAvery5160() {
    TLabelReportForm report;
    report.LoadTemplate(Template("av5160.cls"));
    for (int i = 1; i <= 31; ++i) report.AddLabel(Numbered(i));
    const QString pdf = QString::fromStdString(work_.file("avery.pdf"));
    PrintToPdf(pdf);
    report.PrintLabels(nullptr);
    TLabelReportForm::SetPrintDialogHandler({});
    QCOMPARE(PdfPages(pdf), 2);
    const QString page1 = PdfText(pdf, 1);
    for (int r = 0; r < 10; ++r) {
      const QString a = QString::fromStdString(Numbered(3 * r + 1)[0]);
      const QString b = QString::fromStdString(Numbered(3 * r + 2)[0]);
      const QString c = QString::fromStdString(Numbered(3 * r + 3)[0]);
      QVERIFY2(page1.contains(QRegularExpression(a + "\\s+" + b + "\\s+" + c + "\\n")),
               qPrintable(page1));
      if (r < 9)
        QVERIFY(page1.indexOf(a) < page1.indexOf(QString::fromStdString(Numbered(3 * r + 4)[0])));
    }
    QVERIFY(!page1.contains("NAME31"));
    QVERIFY(PdfText(pdf, 2).contains("NAME31"));
    QVERIFY(!page1.contains("Famous DXer"));
    // The word boxes in points: NAME01 inside the first label (4.76 .. 71.44 mm across,
    // 12.7 .. 38.1 mm down) and NAME04 inside the first label of the second row.
    const QString boxes = PdfText(pdf, 1, "-bbox");
    auto box = [&](const QString& word) {
      const QRegularExpression re(
          "xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
          "yMax=\"([\\d.]+)\">" +
          word + "<");
      const QRegularExpressionMatch m = re.match(boxes);
      if (!m.hasMatch()) qFatal("no box of %s", qPrintable(word));
      return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                    QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    };
    const double pt = 72 / 25.4;
    const QRectF first(4.7625 * pt, 12.7 * pt, 66.675 * pt, 25.4 * pt);
    qInfo("first label %.1f,%.1f-%.1f,%.1f pt; NAME01 %.1f,%.1f-%.1f,%.1f pt", first.left(),
          first.top(), first.right(), first.bottom(), box("NAME01").left(), box("NAME01").top(),
          box("NAME01").right(), box("NAME01").bottom());
    QVERIFY2(first.contains(box("NAME01")), qPrintable(boxes.left(2000)));
    QVERIFY(first.contains(box("CITY01")));
    QVERIFY(first.translated(0, 25.4 * pt).contains(box("NAME04")));
    QVERIFY(first.translated(69.85 * pt, 0).contains(box("NAME02")));
  }

  // Every template prints on its own paper and orientation, also when the print dialog turns
  // the printer into a PDF writer (which starts from A4 portrait). Sizes from the sheets' makers:
  // U.S. Letter 8.5 x 11 in, A4 210 x 297 mm, #10 envelope 4 1/8 x 9 1/2 in fed landscape.
  void everyTemplateOnItsOwnPaper_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    const double letter[] = {612, 792}, a4[] = {595.28, 841.89}, env[] = {684, 297};
    const std::pair<const char*, const double*> sheets[] = {
        {"av5160.cls", letter}, {"av5261.cls", letter}, {"av5262.cls", letter},
        {"zf3490.cls", a4},     {"zf4780.cls", a4},     {"zf6023.cls", a4},
        {"env10dj.cls", env},   {"env10lj.cls", env}};
    for (const auto& [file, size] : sheets)
      QTest::newRow(file) << QString(file) << size[0] << size[1];
  }
  void everyTemplateOnItsOwnPaper() {
    QFETCH(QString, file);
    QFETCH(double, width);
    QFETCH(double, height);
    TLabelReportForm report;
    report.LoadTemplate(Template(file.toStdString().c_str()));
    report.AddLabel({"W1AW", "225 MAIN ST", "NEWINGTON, CT 06111"});
    const QString pdf = QString::fromStdString(work_.file("paper.pdf"));
    QFile::remove(pdf);
    PrintToPdf(pdf);
    QVERIFY(report.PrintLabels(nullptr));
    TLabelReportForm::SetPrintDialogHandler({});
    QProcess p;
    p.start("pdfinfo", {pdf});
    p.waitForFinished(30000);
    const QRegularExpressionMatch m = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")
                                          .match(QString::fromUtf8(p.readAllStandardOutput()));
    QVERIFY(m.hasMatch());
    QVERIFY2(std::abs(m.captured(1).toDouble() - width) < 1 &&
                 std::abs(m.captured(2).toDouble() - height) < 1,
             qPrintable(m.captured(0)));
  }

  // Design mode: the sample label with outlines, two pages at most.
  void designModePreview() {
    TLabelReportForm report;
    QPrinter printer(QPrinter::HighResolution);
    report.ApplyToPrinter(printer);
    const QString pdf = QString::fromStdString(work_.file("design.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QCOMPARE(report.Render(printer), 2);
    QCOMPARE(PdfPages(pdf), 2);
    const QString text = PdfText(pdf, 1);
    QVERIFY(text.contains("John \"Long Name\" Doe, CALL"));
    QVERIFY(text.contains("Famous DXer house"));
    QCOMPARE(text.count("Famous DXer house"), 30);  // every label of the sheet
    // The preview runs the same report.
    int previewed = 0;
    TLabelReportForm::SetPreviewHandler([&](QPrintPreviewDialog& d) {
      QPrinter* p = d.printer();
      p->setOutputFormat(QPrinter::PdfFormat);
      p->setOutputFileName(QString::fromStdString(work_.file("preview.pdf")));
      emit d.paintRequested(p);
      ++previewed;
    });
    report.Preview(nullptr);
    TLabelReportForm::SetPreviewHandler({});
    QCOMPARE(previewed, 1);
    QCOMPARE(PdfPages(QString::fromStdString(work_.file("preview.pdf"))), 2);
  }

  // The options dialog: a template saved and loaded again, a file that is not a template,
  // reset, a paper name other than "Custom", a number that does not convert, OK and Cancel.
  void extendedLabelOptions() {
    TLabelReportForm report;
    const QString saved = QString::fromStdString(work_.file("mine.cls"));
    const QString bad = QString::fromStdString(work_.file("bad.cls"));
    QFile b(bad);
    QVERIFY(b.open(QIODevice::WriteOnly));
    b.write(QByteArray(400, 'x'));
    b.close();
    QString next;
    TExtLabelOptDlg::SetFileDialogHandler([&](bool, const QString&) { return next; });
    {
      TExtLabelOptDlg d(report, true);
      QCOMPARE(d.windowTitle(), QString("Extended label options"));
      QVERIFY(d.findChild<QCheckBox*>("UseOldMethodChkBox")->isChecked());
      auto e = [&](const char* n) { return d.findChild<QLineEdit*>(n); };
      QCOMPARE(e("LabelHeightEdit")->text(), QString("1"));  // inches
      QCOMPARE(e("ColWidthEdit")->text(), QString("2.625"));
      QCOMPARE(d.findChild<QPlainTextEdit*>("ColPosMemo")->toPlainText(),
               QString("0.2\n2.938\n5.719"));
      QCOMPARE(d.findChild<QLineEdit*>("TemplateNameEdit")->text(),
               QString("Avery 5160 (1\" x 2 5/8\")"));
      d.findChild<QComboBox*>("UnitsCbx")->setCurrentIndex(1);  // mm, at once
      QCOMPARE(e("LabelHeightEdit")->text(), QString("25.4"));
      e("LabelHeightEdit")->setText("30");
      e("NumColEdit")->setText("2");
      d.findChild<QLineEdit*>("TemplateNameEdit")->setText("My sheet");
      next = saved;
      d.findChild<QPushButton*>("SaveBtn")->click();
      QVERIFY(QFile::exists(saved));
      // Reset asks; Yes gives the design values.
      answer_ = idYes;
      d.findChild<QPushButton*>("ResetBtn")->click();
      QCOMPARE(Texts().last(), QString(kAskResetLabels));
      QCOMPARE(e("LabelHeightEdit")->text(), QString("25.4"));
      QCOMPARE(report.TemplateDescription, std::string(kDefaultTemplateDescription));
      next = bad;
      boxes_.clear();
      d.findChild<QPushButton*>("LoadBtn")->click();
      QCOMPARE(Texts(), QStringList({kNotValidTemplate}));
      next = saved;
      d.findChild<QPushButton*>("LoadBtn")->click();
      QCOMPARE(e("LabelHeightEdit")->text(), QString("30"));
      QCOMPARE(e("NumColEdit")->text(), QString("2"));
      QCOMPARE(d.findChild<QLineEdit*>("TemplateNameEdit")->text(), QString("My sheet"));
      // A paper other than "Custom": its size, the edits disabled and not applied.
      auto* paper = d.findChild<QComboBox*>("PapernameCbx");
      QCOMPARE(paper->itemText(paper->count() - 1), QString(kCustomPaper));
      paper->setCurrentIndex(paper->findText("A4"));
      QVERIFY(!e("PaperWidthEdit")->isEnabled());
      QCOMPARE(e("PaperWidthEdit")->text(), QString("210"));
      e("PaperWidthEdit")->setText("100");
      d.ApplyLayout();
      QCOMPARE(report.Layout().paperWidth, 210.0);
      paper->setCurrentIndex(paper->count() - 1);
      QVERIFY(e("PaperWidthEdit")->isEnabled());
      e("PaperWidthEdit")->setText("100");
      d.ApplyLayout();
      QCOMPARE(report.Layout().paperWidth, 100.0);
      // A number that does not convert: the message, and the page stays.
      auto* tabs = d.findChild<QTabWidget*>("TabbedNotebook1");
      tabs->setCurrentIndex(2);
      e("BottomOffsetEdit")->setText("abc");
      boxes_.clear();
      tabs->setCurrentIndex(0);
      QCOMPARE(Texts(), QStringList({"'abc' is not a valid floating point value"}));
      QCOMPARE(tabs->currentIndex(), 2);
      e("BottomOffsetEdit")->setText("1");
      d.findChild<QCheckBox*>("UseOldMethodChkBox")->setChecked(false);
      d.findChild<QPushButton*>("OKBtn")->click();
      QCOMPARE(d.result(), int(QDialog::Accepted));
      QVERIFY(!d.UseOldMethod());
      QCOMPARE(report.Layout().bottomOffset, 1.0);
    }
    TExtLabelOptDlg::SetFileDialogHandler({});
    // A template written by tellmark-build loads with its description.
    report.LoadTemplate(Template("zf4780.cls"));
    QCOMPARE(report.TemplateDescription, std::string("Zweckform 4780 (48.5 x 25.4 mm)"));
    QCOMPARE(report.Layout().numColumns, 4);
  }

  void labelOptionsFromTheMainWindow() {
    Create("W1AW", "", 0);
    QTimer::singleShot(0, [] {
      auto* d = qobject_cast<TExtLabelOptDlg*>(QApplication::activeModalWidget());
      if (!d) qFatal("no options dialog");
      d->findChild<QCheckBox*>("UseOldMethodChkBox")->setChecked(false);
      d->findChild<QPushButton*>("OKBtn")->click();
    });
    A("OptLabelPrintingItem")->trigger();
    QVERIFY(form_->Settings().printMethod);
    QVERIFY(A("FileMarkLabelForPrintingItem")->isEnabled());
    QVERIFY(!A("FilePrintLabelItem")->isEnabled());
  }

  // ---- The print job over the report file.

  QString WriteReport(const QByteArray& text) {
    const QString name = QString::fromStdString(work_.file("report.txt"));
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("report");
    f.write(text);
    return name;
  }
  TPrintOptions FileOptions() const {
    TPrintOptions o;
    o.outfileName = Out().toStdString();
    return o;
  }

  void findCallEntry() {
    TEntryRecord rec;
    QCOMPARE(FindCallEntry("  w1aw ", rec), TFindCallResult::Found);
    QCOMPARE(rec.db, TDatabase::US);
    QCOMPARE(FindCallEntry("DL1ABC", rec), TFindCallResult::Found);
    QCOMPARE(rec.db, TDatabase::Intl);
    QCOMPARE(FindCallEntry("W1A", rec), TFindCallResult::NotFound);  // only exact matches
    QCOMPARE(FindCallEntry("   ", rec), TFindCallResult::NotFound);
  }

  // Blank lines give nothing; a call not found and an address too large are asked about, and
  // Yes to the first question silences only that kind.
  void printJobQuestionsAndBlankLines() {
    TPrintLabelsForm job(FileOptions(), TAddressStyle{}, false, nullptr);
    QCOMPARE(job.windowTitle(), QString("Print labels from report file"));
    job.SetReportFile(
        WriteReport("W1AW           \r\n               \r\nNOSUCH\r\nDL9BIG\r\n\r\nXX9XX\r\n"
                    "DL1ABC     rest of the line\r\nDL9BIG\r\n")
            .toStdString());
    answer_ = idYes;  // ignore calls not found from now on
    int asked = 0;
    SetMessageHandler([&](TMessageRequest& r) {
      boxes_ << r;
      ++asked;
      return r.text.startsWith("Can't find") ? idYes : idNo;
    });
    job.StartBtnClick();
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    QCOMPARE(job.State(), TPrintLabelsForm::jsFinished);
    QCOMPARE(job.TotalLines(), int64_t{8});
    QCOMPARE(job.LinesRead(), int64_t{8});
    QCOMPARE(Texts(), QStringList({"Can't find call (NOSUCH), line 3.\nIgnore this kind of error "
                                   "next times?",
                                   "Data of entry (DL9BIG), line 4, exceeds selected label "
                                   "dimensions. \nIgnore this kind error next times?",
                                   "Data of entry (DL9BIG), line 8, exceeds selected label "
                                   "dimensions. \nIgnore this kind error next times?"}));
    const QByteArray out = FileBytes(Out());
    QVERIFY(out.startsWith("ARRL HQ STATION, W1AW\r\n"));
    QVERIFY(out.contains("Hans Mueller, DL1ABC\r\n"));
    QCOMPARE(out.count("\r\n"), 12);  // two labels of six lines
    QCOMPARE(job.findChild<QProgressBar*>("Gauge")->value(), 100);
    QCOMPARE(job.findChild<QLabel*>("StatusLbl")->text(), QString("Finished."));
  }

  // Pause after the second line, go on with Start; the labels of the new method are marked.
  void printJobPauseAndContinue() {
    TLabelReportForm report;
    TPrintLabelsForm job(FileOptions(), TAddressStyle{}, true, &report);
    QCOMPARE(job.findChild<QPushButton*>("SendFormFeedBtn")->text(), QString("Start p&rinting..."));
    job.SetReportFile(WriteReport("W1AW\nDL1ABC\nK1ABC\nG3XYZ\n").toStdString());
    auto* pause = job.findChild<QPushButton*>("PauseBtn");
    connect(&job, &TPrintLabelsForm::LineDone, &job, [&](int64_t n) {
      if (n == 2) pause->click();
    });
    job.StartBtnClick();
    QCOMPARE(job.State(), TPrintLabelsForm::jsPaused);
    QCOMPARE(job.findChild<QLabel*>("StatusLbl")->text(), QString("Pause"));
    QCOMPARE(job.LinesRead(), int64_t{2});
    QCOMPARE(job.findChild<QProgressBar*>("Gauge")->value(), 50);
    QCOMPARE(report.LabelCount(), size_t{2});
    QVERIFY(job.findChild<QPushButton*>("StartBtn")->isEnabled());
    QVERIFY(!pause->isEnabled());
    job.StartBtnClick();
    QCOMPARE(job.State(), TPrintLabelsForm::jsFinished);
    QCOMPARE(job.LinesRead(), int64_t{4});
    QCOMPARE(report.LabelCount(), size_t{4});
    QCOMPARE(report.Labels()[2].front(), std::string("JOHN Q SMITH, K1ABC"));
    QVERIFY(Texts().isEmpty());
  }

  // Pause handled right after a line was read, and the window closed mid-job with Cancel: the
  // line read stays for Start, so every call of the report file gets its label.
  void printJobPauseRightAfterARead_data() {
    QTest::addColumn<bool>("close");
    QTest::newRow("pause") << false;
    QTest::newRow("close-cancel") << true;
  }
  void printJobPauseRightAfterARead() {
    QFETCH(bool, close);
    TLabelReportForm report;
    TPrintLabelsForm job(FileOptions(), TAddressStyle{}, true, &report);
    job.SetReportFile(WriteReport("W1AW\nDL1ABC\nK1ABC\nG3XYZ\nDL9BIG\nW1AW\n").toStdString());
    answer_ = idCancel;
    bool once = false;
    connect(&job, &TPrintLabelsForm::LineRead, &job, [&](int64_t n) {
      if (n != 3 || once) return;
      once = true;
      if (close)
        job.close();
      else
        job.findChild<QPushButton*>("PauseBtn")->click();
    });
    job.StartBtnClick();
    QCOMPARE(job.State(), TPrintLabelsForm::jsPaused);
    QCOMPARE(report.LabelCount(), size_t{2});
    job.StartBtnClick();
    QCOMPARE(job.State(), TPrintLabelsForm::jsFinished);
    QCOMPARE(job.LinesRead(), int64_t{6});
    QCOMPARE(report.LabelCount(), size_t{6});
    QCOMPARE(report.Labels()[2].front(), std::string("JOHN Q SMITH, K1ABC"));
    QCOMPARE(Texts(), close ? QStringList({kAskAbortPrintJob}) : QStringList());
  }

  // Stop while counting: asked, and nothing is printed.
  void printJobStopWhileCounting() {
    TPrintLabelsForm job(FileOptions(), TAddressStyle{}, false, nullptr);
    QByteArray many;
    for (int i = 0; i < 2000; ++i) many += "W1AW\r\n";
    job.SetReportFile(WriteReport(many).toStdString());
    answer_ = idOK;
    QTimer::singleShot(0, &job, [&] { job.findChild<QPushButton*>("StopBtn")->click(); });
    job.StartBtnClick();
    QCOMPARE(Texts(), QStringList({kAskAbortPrintJob}));
    QCOMPARE(job.State(), TPrintLabelsForm::jsFinished);
    QCOMPARE(job.LinesRead(), int64_t{0});
    QVERIFY(!QFile::exists(Out()));
    // A report file name that is a device name.
    boxes_.clear();
    job.SetReportFile(work_.file("con"));
    job.StartBtnClick();
    QCOMPARE(Texts(), QStringList({kIllegalReportFileName}));
  }

  // "&Print labels from report file..." opens the job window on the report file of the
  // settings; its labels of the new method go to the main window's label layout.
  void printLabelsFromReportFileMenu() {
    const QString report = WriteReport("W1AW\nDL1ABC\n");
    Create("W1AW", "", 1);
    form_->Settings().reportOptions.fileName = report.toStdString();
    SetReportFileName(report.toStdString());
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* job = qobject_cast<TPrintLabelsForm*>(QApplication::activeModalWidget());
      if (!job) qFatal("no print job window");
      seen = true;
      QCOMPARE(job->findChild<QLabel*>("ReportfilenameLbl")->text(), report);
      job->StartBtnClick();
      job->findChild<QPushButton*>("CloseBtn")->click();
    });
    answer_ = idNo;
    A("ReportPrintLabelsMenuItem")->trigger();
    QVERIFY(seen);
    QVERIFY(!form_->ModalRunning());
    QCOMPARE(form_->LabelReport()->LabelCount(), size_t{2});
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the screen (import -window root) with the
  // reviewers' labels in the print preview of the Zweckform 4780 sheet (sheet4780.png), its
  // design-mode preview (sheet4780-design.png), and the labels page of the program options
  // after "Test" with its message (labeloptions-test.png).
  void screenshotOfSheetAndTest() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    auto shoot = [&](const QString& name) {
      QTest::qWait(1500);
      QVERIFY(QProcess::execute("import", {"-window", "root", dir + "/" + name}) == 0);
    };
    TLabelReportForm report;
    report.LoadTemplate(Template("zf4780.cls"));
    for (const auto& l : ReviewLabels()) report.AddLabel(l);
    TLabelReportForm::SetPrintDialogHandler([&](QPrinter& p) {
      QPrintPreviewDialog d(&p);
      connect(&d, &QPrintPreviewDialog::paintRequested, &report,
              [&](QPrinter* pp) { report.Render(*pp); });
      d.resize(1000, 1000);
      d.show();
      shoot("sheet4780.png");
      d.close();
      return false;
    });
    report.PrintLabels(nullptr);
    TLabelReportForm::SetPrintDialogHandler({});
    TLabelReportForm::SetPreviewHandler([&](QPrintPreviewDialog& d) {
      d.resize(1000, 1000);
      d.show();
      shoot("sheet4780-design.png");
      d.close();
    });
    report.Preview(nullptr);
    TLabelReportForm::SetPreviewHandler({});
    TSetOptDlg d;
    TProgramSettings settings;
    settings.reportOptions.fileName = work_.file("report.txt");
    settings.printOptions.outfileName = Out().toStdString();
    d.SetOptions(settings);
    d.TestPrintLabel = PrintTestLabel;
    d.UpdateHookButtons();
    d.findChild<QTabWidget*>("OptionsNotebook")->setCurrentIndex(2);
    d.show();
    const TMessageHandler recording = SetMessageHandler({});  // the real box
    QTimer::singleShot(0, [&] {
      shoot("labeloptions-test.png");
      if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    d.findChild<QPushButton*>("LblTestPrintBtn")->click();
    SetMessageHandler(recording);
    QVERIFY(FileBytes(Out()).startsWith("John \"Long Name\" Doe, CALL\r\n"));
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the three label windows and the preview into
  // labeloptions*.png, labelselect.png, printlabels.png and labelpreview.png.
  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    TLabelReportForm report;
    {
      TExtLabelOptDlg d(report, false);
      d.show();
      auto* tabs = d.findChild<QTabWidget*>("TabbedNotebook1");
      for (int i = 0; i < 3; ++i) {
        tabs->setCurrentIndex(i);
        QTest::qWait(150);
        QVERIFY(d.grab().save(dir + QString("/labeloptions%1.png").arg(i + 1)));
      }
    }
    {
      TSelectLabelTemplateDlg d;
      d.show();
      QTest::qWait(150);
      QVERIFY(d.grab().save(dir + "/labelselect.png"));
    }
    {
      TPrintLabelsForm job(FileOptions(), TAddressStyle{}, false, nullptr);
      job.SetReportFile(WriteReport("W1AW\nDL1ABC\nK1ABC\nG3XYZ\n").toStdString());
      job.show();
      connect(&job, &TPrintLabelsForm::LineDone, &job, [&](int64_t n) {
        if (n == 2) job.findChild<QPushButton*>("PauseBtn")->click();
      });
      job.StartBtnClick();
      QTest::qWait(150);
      QVERIFY(job.grab().save(dir + "/printlabels.png"));
    }
    TLabelReportForm::SetPreviewHandler([&](QPrintPreviewDialog& d) {
      d.resize(900, 800);
      d.show();
      QTest::qWait(1500);
      QVERIFY(d.grab().save(dir + "/labelpreview.png"));
      d.close();
    });
    report.Preview(nullptr);
    TLabelReportForm::SetPreviewHandler({});
  }
};

QTEST_MAIN(TstLabels)
#include "tst_labels.moc"
