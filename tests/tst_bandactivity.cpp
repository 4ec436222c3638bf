// The "Band activity" window: decodes sent to it over UDP from the loopback, annotated, newest
// on top, the last cycles kept, the filters, the colours of the log's flags, a double-click, and
// the Reply and Highlight Callsign datagrams it sends back.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <fstream>

#include "TestDir.h"
#include "callbook/UCallbook.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"
#include "wsjtx/FBandActivity.h"

namespace {

std::string Be32(uint32_t v) {
  return {char(v >> 24), char(v >> 16 & 0xff), char(v >> 8 & 0xff), char(v & 0xff)};
}
std::string Utf8(const std::string& s) { return Be32(static_cast<uint32_t>(s.size())) + s; }
// Header as WSJT-X writes it: magic, schema 3, type, id "WSJT-X".
std::string Header(uint32_t type) {
  return Be32(0xadbccbda) + Be32(3) + Be32(type) + Utf8("WSJT-X");
}
// Decode: new, time, snr, dt (0.5 as an IEEE double), df, mode "~", message, two flags.
std::string DecodeBytes(uint32_t ms, const std::string& message, uint32_t df) {
  return Header(2) + std::string(1, '\1') + Be32(ms) + Be32(static_cast<uint32_t>(-8)) +
         std::string("\x3f\xe0\0\0\0\0\0\0", 8) + Be32(df) + Utf8("~") + Utf8(message) +
         std::string(2, '\0');
}
// Status: dial frequency 14074000 (8 bytes), mode FT8, then the short fields up to Transmitting.
std::string StatusBytes() {
  return Header(1) + Be32(0) + Be32(14074000) + Utf8("FT8") + Utf8("") + Utf8("") + Utf8("FT8") +
         std::string(2, '\0');
}
std::string HeartbeatBytes() { return Header(0) + Be32(3) + Utf8("2.6.1") + Utf8(""); }

class TestBandActivity : public QObject {
  Q_OBJECT

 private:
  TestDir dir_;
  std::unique_ptr<TCallbook> callbook_;
  int port_ = 0;
  int fd_ = -1;  // "WSJT-X"
  sockaddr_in to_{};

  void Send(const std::string& bytes) {
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_);
  }
  // A datagram the window sent back (at most 2 s).
  std::string Receive() {
    for (int i = 0; i < 40; ++i) {
      char buf[2048];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) return std::string(buf, static_cast<size_t>(n));
      QTest::qWait(50);
    }
    return {};
  }
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
  }
  wsjtx::TWsjtxSettings Settings() {
    wsjtx::TWsjtxSettings s;
    s.port = port_;
    s.logFile = dir_.file("log.adi");
    return s;
  }
  static QString Cell(const TBandActivityForm& f, int row, int column) {
    const QTableWidgetItem* i = f.Table()->item(row, column);
    return i ? i->text() : QString();
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    TBuildInput in = fixture::Input();
    for (TEntity e :
         std::vector<TEntity>{{291, "United States", "NA", 5, 8, {"K", "N", "W", "AA"}},
                              {230, "Fed. Rep. of Germany", "EU", 14, 28, {"DL", "DA"}}})
      in.entities.AddEntity(std::move(e));
    for (TStateZones z : std::vector<TStateZones>{{"CT", 291, {5, 0, 0}, {8, 0, 0}},
                                                  {"MA", 291, {5, 0, 0}, {8, 0, 0}},
                                                  {"IL", 291, {4, 0, 0}, {8, 0, 0}}})
      in.entities.AddState(std::move(z));
    fixture::WriteEditionFiles(in, dir_.path());
    SetHomeDir(dir_.path());
    OpenDataSet();
    callbook_ = std::make_unique<TCallbook>();
    callbook_->Open();
    // Worked: W1AW (Connecticut, Hartford county) on 20 m FT8.
    std::ofstream(dir_.file("log.adi"))
        << "<EOH>\n<CALL:4>W1AW <BAND:3>20m <MODE:3>FT8 <DXCC:3>291 <STATE:2>CT "
           "<CNTY:11>CT,Hartford <GRIDSQUARE:4>FN31 <CQZ:1>5 <EOR>\n";
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self), 0);
  }
  void cleanupTestCase() {
    ::close(fd_);
    callbook_.reset();
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() {
    port_ = FreePort();
    to_ = {};
    to_.sin_family = AF_INET;
    to_.sin_port = htons(static_cast<uint16_t>(port_));
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char buf[2048];
    while (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
  }

  void decodesNewestOnTopAnnotatedAndColoured() {
    TBandActivityForm form(*callbook_);
    form.SetMyLocator("JO62QM");
    QVERIFY(form.Apply(Settings()));
    QVERIFY(form.StatusText().contains("1 contacts"));
    Send(StatusBytes());
    Send(DecodeBytes(45285000, "CQ W1AW FN31", 1200));
    Send(DecodeBytes(45285000, "K1ABC W9ZZ -12", 900));
    Send(DecodeBytes(45285000, "CQ DL1ABC JO62", 600));
    QTRY_COMPARE(form.RowsShown(), 3);
    // Columns: time, dB, DT, freq, message, call, name, QTH, state, county, entity, CQ, ITU,
    // continent, grid, km, heading, flags.
    QCOMPARE(Cell(form, 0, 4), QString("CQ DL1ABC JO62"));
    QCOMPARE(Cell(form, 2, 4), QString("CQ W1AW FN31"));
    QCOMPARE(Cell(form, 2, 0), QString("12:34:45"));
    QCOMPARE(Cell(form, 2, 1), QString("-8"));
    QCOMPARE(Cell(form, 2, 2), QString("0.5"));
    QCOMPARE(Cell(form, 2, 5), QString("W1AW"));
    QCOMPARE(Cell(form, 2, 8), QString("CT"));
    QCOMPARE(Cell(form, 2, 9), QString("HARTFORD"));
    QCOMPARE(Cell(form, 2, 10), QString("United States"));
    QCOMPARE(Cell(form, 2, 11), QString("5"));
    QCOMPARE(Cell(form, 2, 13), QString("NA"));
    QCOMPARE(Cell(form, 2, 14), QString("FN31"));
    QCOMPARE(Cell(form, 2, 17), QString("worked"));
    // W9ZZ: Illinois, Cook county, zone 4: new; no grid sent and none in its entry.
    QCOMPARE(Cell(form, 1, 5), QString("W9ZZ"));
    QCOMPARE(Cell(form, 1, 17), QString("new state, new county, new zone"));
    QCOMPARE(form.Table()->item(1, 5)->background().color(),
             QColor(0xff, 0xa0, 0x40));  // the new-state colour
    // DL1ABC: Germany (the country file's name) is a new entity; the distance from JO62QM to JO62
    // is short.
    QCOMPARE(Cell(form, 0, 10), QString("Fed. Rep. of Germany"));
    QVERIFY(Cell(form, 0, 17).startsWith("new entity"));
    QCOMPARE(form.Table()->item(0, 4)->background().color(), QColor(0xff, 0x50, 0x50));
    QVERIFY(Cell(form, 0, 15).toInt() < 100);

    // Filters.
    form.SetOnlyCq(true);
    QCOMPARE(form.RowsShown(), 2);
    form.SetOnlyNew(true);
    QCOMPARE(form.RowsShown(), 1);
    QCOMPARE(Cell(form, 0, 5), QString("DL1ABC"));
    form.SetOnlyCq(false);
    form.SetOnlyNew(false);
    form.SetContinent("EU");
    QCOMPARE(form.RowsShown(), 1);
    form.SetContinent("NA");
    QCOMPARE(form.RowsShown(), 2);
    form.SetContinent("");

    // The last cycles stay: four more times push the first out.
    for (uint32_t t = 1; t <= 4; ++t)
      Send(DecodeBytes(45285000 + t * 15000, "CQ K1ABC FN42", 1000 + t));
    QTRY_COMPARE(form.RowsShown(), 4);
    QCOMPARE(Cell(form, 0, 0), QString("12:35:45"));
  }

  void doubleClickShowsEntryAndAnswersCq() {
    TBandActivityForm form(*callbook_);
    wsjtx::TWsjtxSettings s = Settings();
    s.sendReply = true;
    QVERIFY(form.Apply(s));
    Send(HeartbeatBytes());
    const std::string answer = Receive();
    // The heartbeat is answered with schema 3 and the client's id.
    QCOMPARE(QByteArray::fromStdString(answer.substr(0, 22)), QByteArray::fromStdString(Header(0)));
    Send(StatusBytes());
    Send(DecodeBytes(45300000, "CQ K1ABC/P FN42", 1500));
    QTRY_COMPARE(form.RowsShown(), 1);
    QSignalSpy chosen(&form, &TBandActivityForm::CallChosen);
    emit form.Table()->cellDoubleClicked(0, 4);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QString("K1ABC"));  // the entry's call
    // Reply: the decode's time, snr, dt, df, mode, message, low confidence, no modifiers.
    const std::string reply = Receive();
    const std::string expected = Header(4) + Be32(45300000) + Be32(static_cast<uint32_t>(-8)) +
                                 std::string("\x3f\xe0\0\0\0\0\0\0", 8) + Be32(1500) + Utf8("~") +
                                 Utf8("CQ K1ABC/P FN42") + std::string(2, '\0');
    QCOMPARE(QByteArray::fromStdString(reply), QByteArray::fromStdString(expected));
  }

  void replyIsOffByDefaultAndHighlightsNewStates() {
    TBandActivityForm form(*callbook_);
    wsjtx::TWsjtxSettings s = Settings();
    s.highlight = true;
    QVERIFY(form.Apply(s));
    Send(HeartbeatBytes());
    QVERIFY(!Receive().empty());
    Send(StatusBytes());
    Send(DecodeBytes(45315000, "CQ W9ZZ", 700));
    // Highlight Callsign: W9ZZ, background the new-state colour, foreground black, all periods.
    const std::string highlight = Receive();
    const std::string expected = Header(13) + Utf8("W9ZZ") + std::string("\x01\xff\xff", 3) +
                                 std::string("\xff\xff\xa0\xa0\x40\x40\0\0", 8) +
                                 std::string("\x01\xff\xff", 3) + std::string(8, '\0') +
                                 std::string(1, '\0');
    QCOMPARE(QByteArray::fromStdString(highlight), QByteArray::fromStdString(expected));
    QTRY_COMPARE(form.RowsShown(), 1);
    emit form.Table()->cellDoubleClicked(0, 4);
    QVERIFY(Receive().empty());  // no Reply unless the settings ask for it
  }
};

}  // namespace

QTEST_MAIN(TestBandActivity)
#include "tst_bandactivity.moc"
