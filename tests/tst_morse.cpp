// Morse output windows on a fixture edition: F9 and Esc of the main window, the "CW Output"
// window while sending and after, the options dialog (load, restore, OK, Abort, Test), and the
// refusal to close the main window while output cannot be stopped. Sounds go to a player that
// only waits as long as they last.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "WindowTestEnv.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "morse/FCWOutput.h"
#include "morse/FMorseOptions.h"
#include "morse/UMMCWOutput.h"
#include "morse/UQtSoundPlayer.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "widgets/UContrast.h"

namespace {

// Waits as long as a sound lasts (times scale) and counts the sounds.
class TWaitingPlayer : public TSoundPlayer {
 public:
  explicit TWaitingPlayer(double scale) : scale_(scale) {}
  void Play(const std::vector<uint8_t>& wave) override {
    Wait((wave.size() - kWaveHeaderSize) / 8);
    ++plays;
  }
  void Pause(unsigned ms) override { Wait(ms); }
  std::atomic<int> plays{0};

 private:
  void Wait(size_t ms) {
    std::this_thread::sleep_for(
        std::chrono::microseconds(static_cast<int64_t>(ms * 1000 * scale_)));
  }
  double scale_;
};

// An output that is not there.
class TNoOutputPlayer : public TSoundPlayer {
 public:
  void Play(const std::vector<uint8_t>&) override { throw ESoundError(kNoAudioOutputText); }
};

const QString kInactive = "Inactive: F9 starts with current entry";

}  // namespace

class TstMorse : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<fixture::TFixtureEdition> edition_;
  std::unique_ptr<TestDir> iniDir_;
  QString ini_;
  QStringList boxes_;
  std::unique_ptr<TCallViewForm> form_;
  std::shared_ptr<TWaitingPlayer> player_;

  TCallViewForm* Create(const QByteArray& cw = QByteArray(), double scale = 0.2) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      qFatal("cannot write %s", qPrintable(ini_));
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=\n" + cw);
    f.close();
    form_ = std::make_unique<TCallViewForm>();
    player_ = std::make_shared<TWaitingPlayer>(scale);
    form_->CWOutputForm()->SetSoundPlayer(player_);
    boxes_.clear();
    return form_.get();
  }
  template <class T>
  static T* W(QWidget* parent, const char* name) {
    T* w = parent->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  TCWOutputForm* Cw() const { return form_->CWOutputForm(); }
  void Trigger(const char* action) { W<QAction>(form_.get(), action)->trigger(); }
  void WaitUntilIdle() { QTRY_VERIFY_WITH_TIMEOUT(!Cw()->IsRunning(), 10000); }
  // Runs check on the options dialog once it is open; the dialog then ends with button.
  void OnOptionsDialog(std::function<void(TSetMorseOptionsDlg*)> check, const char* button) {
    QTimer::singleShot(0, this, [check, button] {
      auto* dlg = qobject_cast<TSetMorseOptionsDlg*>(QApplication::activeModalWidget());
      if (!dlg) qFatal("options dialog not open");
      check(dlg);
      W<QPushButton>(dlg, button)->click();
    });
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    edition_ = std::make_unique<fixture::TFixtureEdition>();
    OpenTestEdition(edition_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r.text;
      return static_cast<int>(idOK);
    });
  }
  void cleanupTestCase() {
    form_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }
  void cleanup() {
    if (form_ && Cw()->IsRunning()) {
      Cw()->StopOutput();
      WaitUntilIdle();
    }
    form_.reset();
  }

  void commandsAreAvailable() {
    Create();
    for (const char* name : {"CWMorsecodeOutputItem", "CWStopMorsingItem", "OptMorseItem"})
      QVERIFY2(W<QAction>(form_.get(), name)->isEnabled(), name);
    QCOMPARE(W<QAction>(form_.get(), "CWMorsecodeOutputItem")->shortcut(), QKeySequence("F9"));
    QCOMPARE(W<QAction>(form_.get(), "CWStopMorsingItem")->shortcut(), QKeySequence("Esc"));
    // The window is made at start, hidden, idle.
    QVERIFY(!Cw()->isVisible());
    QCOMPARE(Cw()->windowTitle(), QString("CW Output"));
    QCOMPARE(W<QLabel>(Cw(), "CWInfoLbl")->text(), QString("ESC stops output"));
    QVERIFY(!W<QPushButton>(Cw(), "StopBtn")->isEnabled());
    QVERIFY(!W<QPlainTextEdit>(Cw(), "CWTextMemo")->isEnabled());
    // Esc with nothing being sent does nothing.
    Trigger("CWStopMorsingItem");
    QVERIFY(!Cw()->IsRunning());
    QVERIFY(boxes_.isEmpty());
  }

  void sendingTheEntryAndStopping() {
    TCallViewForm* f = Create();
    f->FindCall("W1AW");
    Trigger("CWMorsecodeOutputItem");
    QVERIFY(Cw()->isVisible());
    QVERIFY(Cw()->IsRunning());
    auto* memo = W<QPlainTextEdit>(Cw(), "CWTextMemo");
    auto* info = W<QLabel>(Cw(), "CWInfoLbl");
    QTRY_VERIFY(memo->toPlainText().startsWith("W1AW CT 06111 B 01/01/1996 01/01/2006 72.7289"));
    QTRY_COMPARE(info->text(), QString("ESC stops CW output"));
    // The character under way is selected, one at a time; the key cursor is shown.
    QTRY_VERIFY(memo->textCursor().hasSelection());
    QCOMPARE(memo->textCursor().selectionEnd() - memo->textCursor().selectionStart(), 1);
    QVERIFY(W<QPushButton>(Cw(), "StopBtn")->isEnabled());
    QTRY_COMPARE(Cw()->cursor().shape(), Qt::BitmapCursor);
    // F9 again: refused, the first output goes on.
    Trigger("CWMorsecodeOutputItem");
    QCOMPARE(boxes_, QStringList({"CW output is still running"}));
    QVERIFY(Cw()->IsRunning());
    const int played = player_->plays;
    Trigger("CWStopMorsingItem");
    WaitUntilIdle();
    QVERIFY(player_->plays <= played + 2);  // the element under way, at most
    QCOMPARE(info->text(), kInactive);
    QCOMPARE(memo->toPlainText(), QString());
    QVERIFY(!memo->textCursor().hasSelection());
    QVERIFY(!W<QPushButton>(Cw(), "StopBtn")->isEnabled());
    QCOMPARE(Cw()->cursor().shape(), Qt::ArrowCursor);
    // Closing the window only hides it; the next F9 starts again.
    W<QPushButton>(Cw(), "CloseBtn")->click();
    QVERIFY(!Cw()->isVisible());
    Trigger("CWMorsecodeOutputItem");
    QVERIFY(Cw()->IsRunning());
    QVERIFY(Cw()->isVisible());
    QCOMPARE(boxes_.size(), 1);
  }

  void stopButtonAndEscInTheWindow() {
    Create();
    Cw()->show();
    Cw()->StartOutput("paris paris", {800, 6, 100});
    QTRY_VERIFY(player_->plays > 0);
    W<QPushButton>(Cw(), "StopBtn")->click();
    WaitUntilIdle();
    Cw()->StartOutput("paris paris", {800, 6, 100});
    QTRY_VERIFY(Cw()->IsRunning());
    QTest::keyClick(Cw(), Qt::Key_Escape);
    WaitUntilIdle();
    QVERIFY(player_->plays < 2 * 14);
  }

  void shortTextRunsToItsEnd() {
    Create(QByteArray(), 0.05);
    Cw()->StartOutput("e e", {800, 6, 100});
    WaitUntilIdle();
    QCOMPARE(player_->plays.load(), 4);  // dot, letter gap, word gap, dot
    QCOMPARE(W<QLabel>(Cw(), "CWInfoLbl")->text(), kInactive);
    // An empty text: nothing played, the status says inactive.
    Cw()->StartOutput("", {800, 6, 100});
    WaitUntilIdle();
    QCOMPARE(player_->plays.load(), 4);
    QCOMPARE(W<QLabel>(Cw(), "CWInfoLbl")->text(), kInactive);
  }

  // The text being sent is read while the memo is disabled: its colours, and those of the
  // character selected, have a contrast of at least 4.5:1.
  void sentTextIsReadable() {
    Create();
    Cw()->show();
    Cw()->StartOutput("paris paris", {800, 6, 100});
    auto* memo = W<QPlainTextEdit>(Cw(), "CWTextMemo");
    QTRY_VERIFY(memo->textCursor().hasSelection());
    QVERIFY(!memo->isEnabled());
    const QPalette p = memo->viewport()->palette();
    const QList<QTextEdit::ExtraSelection> marks = memo->extraSelections();
    QCOMPARE(marks.size(), 1);
    const struct {
      const char* what;
      QColor fore, back;
    } pairs[] = {
        {"text", p.color(QPalette::Disabled, QPalette::Text),
         p.color(QPalette::Disabled, QPalette::Base)},
        {"character sent", marks[0].format.foreground().color(),
         marks[0].format.background().color()},
    };
    for (const auto& c : pairs)
      QVERIFY2(ContrastRatio(c.fore, c.back) >= 4.5,
               qPrintable(QString("%1: %2 on %3, %4:1")
                              .arg(c.what, c.fore.name(), c.back.name())
                              .arg(ContrastRatio(c.fore, c.back), 0, 'f', 2)));
    Cw()->StopOutput();
    WaitUntilIdle();
  }

  // A character the code page lacks, typed into the test text, is silent (no pattern), not a
  // question mark; it still takes its letter gap.
  void testTextOutsideTheCodePageIsSilent_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("plays");
    QTest::addRow("CJK") << QString::fromUtf8("e\u65e5e") << 4;  // dot, gap, gap, dot
    QTest::addRow("emoji") << QString::fromUtf8("e\U0001F600e") << 4;
    QTest::addRow("code page 437") << QString::fromUtf8("e\u00e4e") << 4;  // a-umlaut: none
    QTest::addRow("question mark") << QString("e?e") << 10;                // ..--.. sent
  }
  void testTextOutsideTheCodePageIsSilent() {
    QFETCH(QString, text);
    QFETCH(int, plays);
    Create(QByteArray(), 0.05);
    OnOptionsDialog(
        [this, text](TSetMorseOptionsDlg* d) {
          W<QScrollBar>(d, "SpeedBar")->setValue(6);
          W<QLineEdit>(d, "MorseTextEdit")->setText(text);
          W<QPushButton>(d, "MorseBtn")->click();
        },
        "AbortBtn");
    form_->OptMorseItemClick();
    WaitUntilIdle();
    QVERIFY(boxes_.isEmpty());
    QCOMPARE(player_->plays.load(), plays);
  }

  // The speed and pitch boxes show what the bars set; they are not boxes to type into, and do
  // not look like them.
  void speedAndPitchBoxesOnlyShow_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("bar");
    QTest::addRow("speed") << "SpeedEdit"
                           << "SpeedBar";
    QTest::addRow("pitch") << "PitchEdit"
                           << "PitchBar";
  }
  void speedAndPitchBoxesOnlyShow() {
    QFETCH(QString, box);
    QFETCH(QString, bar);
    Create("[CW]\nPitch=700\nSpeed=3\nVolume=90\n");
    OnOptionsDialog(
        [box, bar](TSetMorseOptionsDlg* d) {
          auto* edit = W<QLineEdit>(d, qPrintable(box));
          auto* scroll = W<QScrollBar>(d, qPrintable(bar));
          const QString shown = edit->text();
          const int value = scroll->value();
          QVERIFY(edit->isReadOnly());
          QVERIFY(!edit->hasFrame());
          QCOMPARE(edit->palette().color(QPalette::Base).alpha(), 0);  // no box drawn
          QCOMPARE(edit->cursor().shape(), Qt::ArrowCursor);
          QTest::mouseClick(edit, Qt::LeftButton);
          QTest::keyClicks(edit, "9");
          QCOMPARE(edit->text(), shown);
          // The click moved the focus to the bar: the key moved nothing but what it should.
          QVERIFY(scroll->value() == value || scroll->hasFocus());
        },
        "AbortBtn");
    form_->OptMorseItemClick();
  }

  void noAudioOutputIsReported() {
    TCallViewForm* f = Create();
    f->FindCall("DL1ABC");
    Cw()->SetSoundPlayer(std::make_shared<TNoOutputPlayer>());
    Trigger("CWMorsecodeOutputItem");
    WaitUntilIdle();
    QCOMPARE(boxes_, QStringList({kNoAudioOutputText}));
    QCOMPARE(W<QLabel>(Cw(), "CWInfoLbl")->text(), kInactive);
    QVERIFY(!W<QPushButton>(Cw(), "StopBtn")->isEnabled());
  }

  void optionsDialogLoadsAndTakesOK() {
    Create("[CW]\nPitch=805\nSpeed=9\nVolume=50\n");
    QCOMPARE(form_->Settings().morseOptions.pitch, 805);
    OnOptionsDialog(
        [](TSetMorseOptionsDlg* d) {
          QCOMPARE(d->windowTitle(), QString("Set Morsecode Options"));
          QCOMPARE(W<QScrollBar>(d, "SpeedBar")->value(), 6);
          QCOMPARE(W<QLineEdit>(d, "SpeedEdit")->text(), QString("120 BPM"));
          QCOMPARE(W<QScrollBar>(d, "PitchBar")->value(), 80);
          QCOMPARE(W<QLineEdit>(d, "PitchEdit")->text(), QString("800"));
          QCOMPARE(W<QSlider>(d, "VolumeBar")->value(), 50);
          QCOMPARE(W<QLineEdit>(d, "MorseTextEdit")->text(),
                   QString("paris paris paris paris paris"));
          W<QScrollBar>(d, "SpeedBar")->setValue(2);
          QCOMPARE(W<QLineEdit>(d, "SpeedEdit")->text(), QString("60 BPM"));
          W<QScrollBar>(d, "PitchBar")->triggerAction(QAbstractSlider::SliderPageStepAdd);
          QCOMPARE(W<QLineEdit>(d, "PitchEdit")->text(), QString("900"));
        },
        "OkBtn");
    form_->OptMorseItemClick();
    QCOMPARE(form_->Settings().morseOptions.speed, 2);
    QCOMPARE(form_->Settings().morseOptions.pitch, 900);
    QCOMPARE(form_->Settings().morseOptions.volume, 50);
    QVERIFY(!form_->ModalRunning());
  }

  void optionsDialogLowPitchAndRanges() {
    TSetMorseOptionsDlg d(nullptr);
    for (const int pitch : {0, 120, 299}) {
      d.Load({static_cast<uint16_t>(pitch), 0, 0});
      QCOMPARE(W<QScrollBar>(&d, "PitchBar")->value(), 30);
      QCOMPARE(d.Get().pitch, 300);
    }
    d.Load({3000, 0, 127});
    QCOMPARE(d.Get().pitch, 3000);
    QCOMPARE(d.Get().volume, 127);
    QCOMPARE(W<QScrollBar>(&d, "PitchBar")->maximum(), 300);
    QCOMPARE(W<QSlider>(&d, "VolumeBar")->maximum(), 127);
    QCOMPARE(W<QSlider>(&d, "VolumeBar")->tickInterval(), 10);
  }

  void restoreDefaultsKeepsTheVolume() {
    TSetMorseOptionsDlg d(nullptr);
    d.Load({1500, 4, 30});
    W<QLineEdit>(&d, "MorseTextEdit")->setText("cq cq");
    W<QPushButton>(&d, "RestoreBtn")->click();
    QCOMPARE(W<QLineEdit>(&d, "SpeedEdit")->text(), QString("45 BPM"));
    QCOMPARE(W<QLineEdit>(&d, "PitchEdit")->text(), QString("800"));
    QCOMPARE(W<QLineEdit>(&d, "MorseTextEdit")->text(), QString("paris paris paris paris paris"));
    const TMorseOptions o = d.Get();
    QCOMPARE(o.speed, 1);
    QCOMPARE(o.pitch, 800);
    QCOMPARE(o.volume, 30);
    // Help asks for the dialog's help context.
    QSignalSpy help(&d, &TSetMorseOptionsDlg::HelpRequested);
    W<QPushButton>(&d, "HelpBtn")->click();
    QCOMPARE(help.size(), 1);
    QCOMPARE(help.at(0).at(0).toInt(), 10013);
  }

  void abortKeepsTheOptionsAndTestGoesOn() {
    Create("[CW]\nPitch=700\nSpeed=3\nVolume=90\n");
    OnOptionsDialog(
        [this](TSetMorseOptionsDlg* d) {
          W<QScrollBar>(d, "SpeedBar")->setValue(6);
          W<QSlider>(d, "VolumeBar")->setValue(10);
          W<QPushButton>(d, "MorseBtn")->click();
          QVERIFY(Cw()->IsRunning());
          QVERIFY(!Cw()->isVisible());  // only the sound
          W<QPushButton>(d, "MorseBtn")->click();
          QCOMPARE(boxes_, QStringList({"CW output is still running"}));
        },
        "AbortBtn");
    form_->OptMorseItemClick();
    const TMorseOptions& o = form_->Settings().morseOptions;
    QCOMPARE(o.pitch, 700);
    QCOMPARE(o.speed, 3);
    QCOMPARE(o.volume, 90);
    // The test text is still being sent by the CW Output window's worker.
    QVERIFY(Cw()->IsRunning());
    OnOptionsDialog([](TSetMorseOptionsDlg* d) { W<QPushButton>(d, "StopBtn")->click(); },
                    "AbortBtn");
    form_->OptMorseItemClick();
    WaitUntilIdle();
  }

  void closingWhileSendingIsRefusedUntilItStops() {
    // A word gap at the slowest step (1452 ms) outlasts ten stop requests 100 ms apart; played
    // at half speed here, so that it does so on a busy machine too.
    Create(QByteArray(), 2.0);
    form_->show();
    Cw()->StartOutput("   ", {800, 0, 100});
    // Once the first character is under way, its word gap sounds.
    QTRY_COMPARE(W<QLabel>(Cw(), "CWInfoLbl")->text(), QString("ESC stops CW output"));
    QCOMPARE(player_->plays.load(), 0);
    QVERIFY(!form_->close());
    QCOMPARE(boxes_, QStringList({"Morsecode output is still active. Wait until it has finished "
                                  "its job end or cancel it by pressing the ESC key."}));
    QVERIFY(form_->isVisible());
    WaitUntilIdle();
    QVERIFY(player_->plays <= 2);
    // A short element ends within the stop requests: the window closes without a word.
    boxes_.clear();
    Cw()->StartOutput("eeeeeeeeee", {800, 6, 100});
    QTRY_VERIFY(player_->plays >= 3);
    QVERIFY(form_->close());
    QVERIFY(boxes_.isEmpty());
    QVERIFY(!Cw()->IsRunning());
  }

  void destroyingTheWindowsWhileSending() {
    Create();
    Cw()->StartOutput("paris paris paris", {800, 0, 100});
    QTRY_VERIFY(player_->plays > 0);
    form_.reset();  // waits for the worker; nothing left running
    QVERIFY(true);
  }

  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    TCallViewForm* f = Create(QByteArray(), 0.3);
    f->FindCall("DL1ABC");
    f->show();
    Trigger("CWMorsecodeOutputItem");
    QTRY_VERIFY_WITH_TIMEOUT(
        W<QPlainTextEdit>(Cw(), "CWTextMemo")->textCursor().selectionStart() >= 3, 20000);
    QVERIFY(Cw()->grab().save(dir + "/cw-output.png"));
    // The key cursors, side by side on white.
    QPixmap keys(80, 40);
    keys.fill(Qt::white);
    {
      QPainter p(&keys);
      p.drawPixmap(4, 4, Cw()->KeyCursor(false).pixmap());
      p.drawPixmap(44, 4, Cw()->KeyCursor(true).pixmap());
    }
    QVERIFY(keys.scaled(320, 160).save(dir + "/cw-key-cursors.png"));
    Cw()->StopOutput();
    WaitUntilIdle();
    QVERIFY(Cw()->grab().save(dir + "/cw-output-idle.png"));
    TSetMorseOptionsDlg d(Cw());
    d.Load(f->Settings().morseOptions);
    d.show();
    QTest::qWait(100);
    QVERIFY(d.grab().save(dir + "/morse-options.png"));
  }
};

QTEST_MAIN(TstMorse)
#include "tst_morse.moc"
