// Label printing from the main window and the label windows on the fixture edition: the plain
// labels of the "old" method to a file, their messages, the form feed, the printer spool with a
// print server that cannot be reached, and the label menu by method.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTest>
#include <memory>

#include "WindowTestEnv.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "labels/ULabel.h"
#include "labels/ULabelPrinter.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "widgets/UMessages.h"

namespace {

TBuildInput LabelsInput() {
  TBuildInput in = fixture::Input();
  std::string many = "P1";
  for (int i = 2; i <= 11; ++i) many += ", P" + std::to_string(i);
  in.intl.push_back(fixture::Intl({{1, "DL9BIG"}, {3, many}, {4, "Germany"}, {5, "Germany"}}));
  return in;
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
             QStringList({"Error during print: Error: 2", "Error during print: Error: 2"}));
    QVERIFY(!form_->Busy());
  }

  // "prn" spools; a form feed with no print server reachable says so and keeps the lines, and
  // so does the end of the program.
  void printerSpoolWithoutServer() {
    SetLabelPrintServer(work_.file("no-server.sock"));
    Create("W1AW", "OutfileName=prn");
    A("FilePrintLabelItem")->trigger();
    QVERIFY(LabelSpoolPending());
    const QByteArray spooled = FileBytes(QString::fromStdString(LabelSpoolPath()));
    QVERIFY(spooled.startsWith("ARRL HQ STATION, W1AW\r\n"));
    A("FileSendFormFeedItem")->trigger();
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].text.startsWith("Error during print: The print server "),
             qPrintable(boxes_[0].text));
    QVERIFY(boxes_[0].text.contains("cannot be reached"));
    QVERIFY(boxes_[0].text.endsWith("The label lines stay spooled for the next form feed."));
    QCOMPARE(FileBytes(QString::fromStdString(LabelSpoolPath())), spooled);
    form_->close();
    QCOMPARE(boxes_.size(), 2);
    QCOMPARE(boxes_[1].text, boxes_[0].text);
    QCOMPARE(FileBytes(QString::fromStdString(LabelSpoolPath())), spooled);
  }
};

QTEST_MAIN(TstLabels)
#include "tst_labels.moc"
