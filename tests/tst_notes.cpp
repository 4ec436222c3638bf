// The notes editor and the main window's notes: Find, Save and Delete with their call-sign rules
// and messages, the memo's length, keys and pop-up menu; the notes file opened at creation, the
// caption of the Notes button, the editor for a call in no database, and a notes file another
// program holds.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "WindowTestEnv.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "notes/FEditNotes.h"
#include "notes/UNoteText.h"
#include "notes/UNotesIO.h"
#include "storage/UIndexEngine.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

namespace {

const QString kEmptyCall = "Call must contain at least 1 and up to 6 characters.";
const QString kBadChars = "In a Call, only letters and numbers are allowed.";
const QString kNoNotesFile = "Set the notes file name first. (Use Options|Program to do this)";
const char* const kHoldOption = "--hold-notes";

// The second program of the lock test: holds the notes file open until its input ends.
int HoldNotes(const char* fileName) {
  try {
    TNotes notes(fileName);
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
}

// The raw entry record n of a notes file.
QByteArray RawRecord(const QString& file, int n) {
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly) || !f.seek(qint64(n) * TNotes::kRecordSize)) return {};
  return f.read(TNotes::kRecordSize);
}

// Code page 437 bytes 128..255 as Unicode, from the code page's published table.
const char16_t kCp437High[] =
    u"\u00C7\u00FC\u00E9\u00E2\u00E4\u00E0\u00E5\u00E7\u00EA\u00EB\u00E8\u00EF\u00EE\u00EC\u00C4"
    u"\u00C5\u00C9\u00E6\u00C6\u00F4\u00F6\u00F2\u00FB\u00F9\u00FF\u00D6\u00DC\u00A2\u00A3\u00A5"
    u"\u20A7\u0192\u00E1\u00ED\u00F3\u00FA\u00F1\u00D1\u00AA\u00BA\u00BF\u2310\u00AC\u00BD\u00BC"
    u"\u00A1\u00AB\u00BB\u2591\u2592\u2593\u2502\u2524\u2561\u2562\u2556\u2555\u2563\u2551\u2557"
    u"\u255D\u255C\u255B\u2510\u2514\u2534\u252C\u251C\u2500\u253C\u255E\u255F\u255A\u2554\u2569"
    u"\u2566\u2560\u2550\u256C\u2567\u2568\u2564\u2565\u2559\u2558\u2552\u2553\u256B\u256A\u2518"
    u"\u250C\u2588\u2584\u258C\u2590\u2580\u03B1\u00DF\u0393\u03C0\u03A3\u03C3\u00B5\u03C4\u03A6"
    u"\u0398\u03A9\u03B4\u221E\u03C6\u03B5\u2229\u2261\u00B1\u2265\u2264\u2320\u2321\u00F7\u2248"
    u"\u00B0\u2219\u00B7\u221A\u207F\u00B2\u25A0\u00A0";

QString U(const char16_t* s) { return QString::fromUtf16(s); }

// Types text into a widget as key presses and releases carrying the characters.
void TypeText(QWidget* w, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &release);
  }
}

}  // namespace

class TstNotes : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestDir> edition_;
  std::unique_ptr<TestDir> iniDir_;
  std::unique_ptr<TestDir> dir_;
  QString ini_;
  QString notesFile_;
  QList<TMessageRequest> boxes_;
  int answer_ = idOK;  // what the boxes are answered
  std::unique_ptr<TCallViewForm> main_;

  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  // A main window whose settings name the notes file (none for an empty name).
  TCallViewForm* CreateMain(const QString& notesName) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
      qFatal("cannot write %s", qPrintable(ini_));
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=\n[General]\nNotesDataFilename=" +
            notesName.toLocal8Bit() + "\n");
    f.close();
    main_ = std::make_unique<TCallViewForm>();
    return main_.get();
  }
  template <class T>
  static T* W(QWidget* form, const char* name) {
    T* w = form->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  static QLineEdit* CallEdit(QWidget* f) { return W<QLineEdit>(f, "CallEdit"); }
  static QPlainTextEdit* Memo(QWidget* f) { return W<QPlainTextEdit>(f, "NotesMemo"); }
  // The memo's text with every character as it is (toPlainText makes a no-break space a blank).
  static QString RawMemo(QWidget* f) {
    QString t = Memo(f)->document()->toRawText();
    t.replace(QChar::ParagraphSeparator, '\n');
    return t;
  }
  QString Caption() const { return W<QPushButton>(main_.get(), "ShowNotesBtn")->text(); }
  void SaveNote(const std::string& call, const std::string& text) {
    TNotes notes(notesFile_.toStdString());
    notes.SaveNote({TNotes::kStatusInUse, call, text});
  }
  static void ShowActive(QWidget* w) {
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    // The fixture edition and a call the notes file cannot hold (only letters and digits).
    TBuildInput in = fixture::Input();
    in.intl.push_back(fixture::Intl({{1, "4U/ITU"}, {3, "ITU, Geneva"}, {4, "Switzerland"}}));
    edition_ = std::make_unique<TestDir>();
    fixture::WriteEditionFiles(in, edition_->path());
    OpenTestEdition(edition_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
  }
  void cleanupTestCase() {
    main_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() {
    answer_ = idOK;
    boxes_.clear();
    dir_ = std::make_unique<TestDir>();
    notesFile_ = QString::fromStdString(dir_->file("my notes.ndf"));
  }
  void cleanup() {
    main_.reset();
    dir_.reset();
  }

  void editorFindSaveDelete() {
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    QCOMPARE(ed.windowTitle(), QString("Notes"));
    QCOMPARE(ed.property("helpContext").toInt(), 10019);

    // No note: an empty memo, the call stays.
    CallEdit(&ed)->setText("dl1abc");
    Memo(&ed)->setPlainText("left over");
    ed.SearchBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText(), QString());
    QCOMPARE(CallEdit(&ed)->text(), QString("dl1abc"));
    QVERIFY(Memo(&ed)->hasFocus());

    // Saved under the call in lower case, every line ended by CR LF.
    CallEdit(&ed)->setText("DL1ABC");
    Memo(&ed)->setPlainText(QString::fromUtf8("QRV 40 m\nQSL via Müller"));
    ed.SaveBtnClick();
    TNoteRec rec;
    QVERIFY(notes.ReadNote("dl1abc", rec));
    QCOMPARE(rec.Text, std::string("QRV 40 m\r\nQSL via M\x81ller\r\n"));
    QCOMPARE(RawRecord(notesFile_, 1).mid(1, 7), QByteArray("\x06"
                                                            "dl1abc"));
    const qint64 size = QFileInfo(notesFile_).size();

    // Found with the call in any case; saving it again stores the same text.
    CallEdit(&ed)->setText("Dl1AbC");
    Memo(&ed)->setPlainText("something else");
    ed.SearchBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText(), QString::fromUtf8("QRV 40 m\nQSL via Müller"));
    ed.SaveBtnClick();
    ed.SearchBtnClick();
    ed.SaveBtnClick();
    QVERIFY(notes.ReadNote("dl1abc", rec));
    QCOMPARE(rec.Text, std::string("QRV 40 m\r\nQSL via M\x81ller\r\n"));
    QCOMPARE(QFileInfo(notesFile_).size(), size);

    // An empty last line survives the round trip too.
    CallEdit(&ed)->setText("g3xyz");
    Memo(&ed)->setPlainText("line\n");
    ed.SaveBtnClick();
    ed.SearchBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText(), QString("line\n"));
    QVERIFY(notes.ReadNote("g3xyz", rec));
    QCOMPARE(rec.Text, std::string("line\r\n\r\n"));

    // Delete: no question, the window cleared, the focus on the call.
    CallEdit(&ed)->setText("DL1ABC");
    ed.SearchBtnClick();
    ed.DeleteBtnClick();
    QVERIFY(!notes.HasNote("dl1abc"));
    QVERIFY(notes.HasNote("g3xyz"));
    QCOMPARE(Memo(&ed)->toPlainText(), QString());
    QCOMPARE(CallEdit(&ed)->text(), QString());
    QVERIFY(CallEdit(&ed)->hasFocus());
    // ... also for a call without a note, silently.
    CallEdit(&ed)->setText("ja1aa");
    Memo(&ed)->setPlainText("typed");
    ed.DeleteBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText(), QString());
    QCOMPARE(CallEdit(&ed)->text(), QString());
    QCOMPARE(Texts(), QStringList());

    // Without a notes file the commands do nothing.
    ed.SetNotes(nullptr);
    CallEdit(&ed)->setText("g3xyz");
    Memo(&ed)->setPlainText("kept");
    ed.SearchBtnClick();
    ed.DeleteBtnClick();
    ed.SaveBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText(), QString("kept"));
    QCOMPARE(CallEdit(&ed)->text(), QString("g3xyz"));
    QCOMPARE(Texts(), QStringList());
  }

  void invalidCallIsSelected_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << "" << kEmptyCall;
    QTest::newRow("blanks") << "   " << kEmptyCall;
    QTest::newRow("two words") << "ab cd" << kBadChars;
    QTest::newRow("hyphen") << "dl-1" << kBadChars;
    QTest::newRow("umlaut") << QString::fromUtf8("dö1a") << kBadChars;
  }
  void invalidCallIsSelected() {
    QFETCH(QString, call);
    QFETCH(QString, message);
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    const std::array<void (TEditNotesForm::*)(), 3> commands = {&TEditNotesForm::SearchBtnClick,
                                                                &TEditNotesForm::SaveBtnClick,
                                                                &TEditNotesForm::DeleteBtnClick};
    for (const auto command : commands) {
      boxes_.clear();
      CallEdit(&ed)->setText(call);
      CallEdit(&ed)->deselect();
      Memo(&ed)->setPlainText("memo");
      Memo(&ed)->setFocus();
      (ed.*command)();
      QCOMPARE(Texts(), QStringList({message}));
      QCOMPARE(boxes_[0].caption, QString(kApplicationTitle));
      QCOMPARE(boxes_[0].flags, mbOK | mbIconError);
      QVERIFY(CallEdit(&ed)->hasFocus());
      QCOMPARE(CallEdit(&ed)->selectedText(), call);
      QCOMPARE(CallEdit(&ed)->text(), call);
      QCOMPARE(Memo(&ed)->toPlainText(), QString("memo"));
    }
    QCOMPARE(notes.NoteCount(), 0);
  }

  void memoKeepsTheNoteLength() {
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    QCOMPARE(CallEdit(&ed)->maxLength(), 6);
    CallEdit(&ed)->setText("vk2xx");

    // Typing stops at 247 characters; a line break takes two.
    Memo(&ed)->setFocus();
    QTest::keyClicks(Memo(&ed), QString(240, 'a'));
    QTest::keyClick(Memo(&ed), Qt::Key_Return);
    QTest::keyClicks(Memo(&ed), QString(10, 'b'));
    QCOMPARE(Memo(&ed)->toPlainText(), QString(240, 'a') + "\n" + QString(5, 'b'));
    ed.SaveBtnClick();
    TNoteRec rec;
    QVERIFY(notes.ReadNote("vk2xx", rec));
    // The break after the last line does not fit, and no half of it is kept.
    QCOMPARE(rec.Text, std::string(240, 'a') + "\r\n" + std::string(5, 'b'));

    // A paste is cut to what fits, in the middle of the text too.
    Memo(&ed)->setPlainText(QString(100, 'x'));
    QTextCursor c = Memo(&ed)->textCursor();
    c.setPosition(50);
    Memo(&ed)->setTextCursor(c);
    Memo(&ed)->insertPlainText(QString(100, 'y') + "\n" + QString(100, 'z'));
    const QString text = Memo(&ed)->toPlainText();
    QCOMPARE(text.size() + text.count('\n'), 247);
    QVERIFY(text.startsWith(QString(50, 'x') + QString(100, 'y') + "\n"));
    QVERIFY(text.endsWith(QString(50, 'x')));

    // A stored note is shown whole, even where its lone line feeds take more room in the memo.
    std::string lf;
    for (int i = 0; i < 123; ++i) lf += "c\n";
    notes.SaveNote({TNotes::kStatusInUse, "f5abc", lf + "d"});
    CallEdit(&ed)->setText("f5abc");
    ed.SearchBtnClick();
    QCOMPARE(Memo(&ed)->toPlainText().count('c'), 123);
    QVERIFY(Memo(&ed)->toPlainText().endsWith("c\nd"));
  }

  void keysAndPopupMenu() {
    TNotes notes(notesFile_.toStdString());
    notes.SaveNote({TNotes::kStatusInUse, "w1aw", "Club\r\n"});
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);

    const auto* menu = W<QMenu>(&ed, "NotesPopupMenu");
    QStringList items;
    for (const QAction* a : menu->actions())
      items << (a->isSeparator()
                    ? "-"
                    : a->objectName() + " " + a->text() + " " + a->shortcut().toString());
    QCOMPARE(items,
             QStringList({"FindItem &Find Alt+F", "NotesSaveItem &Save Alt+S",
                          "NotesDeleteItem &Delete Alt+D", "-", "NotesCloseItem Close Esc"}));
    QCOMPARE(menu->actions()[3]->objectName(), QString("N1"));
    QCOMPARE(W<QPushButton>(&ed, "SearchBtn")->text(), QString("&Find"));
    QVERIFY(W<QPushButton>(&ed, "SearchBtn")->isDefault());

    // Enter in the call box finds; Alt+S saves and Alt+D deletes wherever the focus is.
    CallEdit(&ed)->setFocus();
    CallEdit(&ed)->setText("W1AW");
    QTest::keyClick(CallEdit(&ed), Qt::Key_Return);
    QCOMPARE(Memo(&ed)->toPlainText(), QString("Club"));
    QTest::keyClicks(Memo(&ed), "HQ ");
    QTest::keyClick(Memo(&ed), Qt::Key_S, Qt::AltModifier);
    TNoteRec rec;
    QVERIFY(notes.ReadNote("w1aw", rec));
    QCOMPARE(rec.Text, std::string("HQ Club\r\n"));
    Memo(&ed)->clear();
    QTest::keyClick(Memo(&ed), Qt::Key_F, Qt::AltModifier);
    QCOMPARE(Memo(&ed)->toPlainText(), QString("HQ Club"));
    QTest::keyClick(Memo(&ed), Qt::Key_D, Qt::AltModifier);
    QVERIFY(!notes.HasNote("w1aw"));
    QCOMPARE(CallEdit(&ed)->text(), QString());
    QCOMPARE(Texts(), QStringList());

    // Esc closes (hides) the window without saving.
    CallEdit(&ed)->setText("w1aw");
    Memo(&ed)->setFocus();
    QTest::keyClicks(Memo(&ed), "unsaved");
    QTest::keyClick(Memo(&ed), Qt::Key_Escape);
    QVERIFY(!ed.isVisible());
    QVERIFY(!notes.HasNote("w1aw"));
  }

  // The memo always holds the note of the call in the call box: typing another call loads its
  // note (or empties the memo), and unsaved changes are asked about first, so nothing is filed
  // under the wrong call.
  void changingTheCallLoadsItsNote_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("callAfter");
    QTest::addColumn<QString>("memoAfter");
    QTest::addColumn<QString>("w1awNote");
    QTest::newRow("save") << int(idYes) << "k1abc"
                          << ""
                          << "HQ Club\r\n";
    QTest::newRow("drop") << int(idNo) << "k1abc"
                          << ""
                          << "Club\r\n";
    QTest::newRow("keep") << int(idCancel) << "W1AW"
                          << "HQ Club"
                          << "Club\r\n";
  }
  void changingTheCallLoadsItsNote() {
    QFETCH(int, answer);
    QFETCH(QString, callAfter);
    QFETCH(QString, memoAfter);
    QFETCH(QString, w1awNote);
    TNotes notes(notesFile_.toStdString());
    notes.SaveNote({TNotes::kStatusInUse, "w1aw", "Club\r\n"});
    notes.SaveNote({TNotes::kStatusInUse, "dl1abc", "Berlin\r\n"});
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    // Unchanged memo: another call typed shows its note, or nothing, without a question.
    CallEdit(&ed)->setFocus();
    QTest::keyClicks(CallEdit(&ed), "W1AW");
    QCOMPARE(Memo(&ed)->toPlainText(), QString("Club"));
    CallEdit(&ed)->selectAll();
    QTest::keyClicks(CallEdit(&ed), "dl1abc");
    QCOMPARE(Memo(&ed)->toPlainText(), QString("Berlin"));
    QTest::keyClick(CallEdit(&ed), Qt::Key_Backspace);
    QCOMPARE(Memo(&ed)->toPlainText(), QString());
    CallEdit(&ed)->selectAll();
    QTest::keyClicks(CallEdit(&ed), "W1AW");
    QCOMPARE(Memo(&ed)->toPlainText(), QString("Club"));
    QCOMPARE(Texts(), QStringList());

    // Changed memo, then another call typed: the question at the first key, answered.
    Memo(&ed)->moveCursor(QTextCursor::Start);
    QTest::keyClicks(Memo(&ed), "HQ ");
    SetMessageHandler([&](TMessageRequest& r) {
      boxes_ << r;
      return answer;
    });
    CallEdit(&ed)->setFocus();
    CallEdit(&ed)->selectAll();
    QTest::keyClick(CallEdit(&ed), Qt::Key_K);
    if (answer != idCancel) QTest::keyClicks(CallEdit(&ed), "1abc");
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    QCOMPARE(Texts(), QStringList({"The note of \"W1AW\" has unsaved changes. Save them before "
                                   "changing the call?"}));
    QCOMPARE(boxes_[0].flags, mbYesNoCancel | mbIconQuestion);
    QCOMPARE(CallEdit(&ed)->text(), callAfter);
    QCOMPARE(Memo(&ed)->toPlainText(), memoAfter);
    TNoteRec rec;
    QVERIFY(notes.ReadNote("w1aw", rec));
    QCOMPARE(QString::fromStdString(rec.Text), w1awNote);
    // Save files the memo under the call shown: never one call's text under another call.
    ed.SaveBtnClick();
    rec = {};
    notes.ReadNote(callAfter.toLower().toStdString(), rec);
    QCOMPARE(QString::fromStdString(MemoTextFromNote(rec.Text)), memoAfter);
  }

  // The main window opening the editor for another call while the memo has unsaved changes.
  void mainWindowAsksBeforeChangingTheCall() {
    SaveNote("w1aw", "League HQ\r\n");
    TCallViewForm* f = CreateMain(notesFile_);
    f->FindCall("W1AW");
    f->ShowNotesBtnClick();
    TEditNotesForm* ed = f->NotesForm();
    QCOMPARE(Memo(ed)->toPlainText(), QString("League HQ"));
    Memo(ed)->setFocus();
    Memo(ed)->moveCursor(QTextCursor::End);
    QTest::keyClicks(Memo(ed), " Newington");
    // Kept: the editor stays on W1AW with the text typed.
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idCancel);
    });
    f->FindCall("K1ABC");
    f->ShowNotesBtnClick();
    QCOMPARE(Texts().size(), 1);
    QCOMPARE(CallEdit(ed)->text(), QString("W1AW"));
    QCOMPARE(Memo(ed)->toPlainText(), QString("League HQ Newington"));
    // The same call again keeps the text typed, without a question.
    f->FindCall("W1AW");
    f->ShowNotesBtnClick();
    QCOMPARE(Texts().size(), 1);
    QCOMPARE(Memo(ed)->toPlainText(), QString("League HQ Newington"));
    // Saved: under W1AW, and the editor shows K1ABC's (empty) note.
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idYes);
    });
    f->FindCall("K1ABC");
    f->ShowNotesBtnClick();
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    QCOMPARE(Texts().size(), 2);
    QCOMPARE(CallEdit(ed)->text(), QString("K1ABC"));
    QCOMPARE(Memo(ed)->toPlainText(), QString());
    QVERIFY(!f->Notes()->HasNote("k1abc"));
    TNoteRec rec;
    QVERIFY(f->Notes()->ReadNote("w1aw", rec));
    QCOMPARE(rec.Text, std::string("League HQ Newington\r\n"));
  }

  void mainWindowNotesButton() {
    SaveNote("w1aw", "League HQ\r\n");
    TCallViewForm* f = CreateMain(notesFile_);
    QVERIFY(f->Notes());
    QVERIFY(W<QPushButton>(f, "ShowNotesBtn")->isEnabled());
    QVERIFY(W<QAction>(f, "EditNotesItem")->isEnabled());
    // Opened after the first entry was shown (3D2AG): the caption is brought up to date.
    QCOMPARE(Caption(), QString("Add note..."));
    f->FindCall("W1AW");
    QCOMPARE(Caption(), QString("Edit note..."));
    f->FindCall("K1ABC");
    QCOMPARE(Caption(), QString("Add note..."));
    f->FindCall("W1AW");
    QCOMPARE(Caption(), QString("Edit note..."));

    // The button opens the editor on the entry shown, the memo active.
    W<QPushButton>(f, "ShowNotesBtn")->click();
    TEditNotesForm* ed = f->NotesForm();
    QVERIFY(ed);
    QVERIFY(ed->isVisible());
    QVERIFY(!ed->isModal());
    QCOMPARE(ed->parent(), f);
    QCOMPARE(CallEdit(ed)->text(), QString("W1AW"));
    QCOMPARE(Memo(ed)->toPlainText(), QString("League HQ"));
    QCOMPARE(ed->focusWidget(), Memo(ed));

    // A note saved for the entry shown changes the caption at once; the editor is kept.
    f->FindCall("K1ABC");
    W<QAction>(f, "EditNotesItem")->trigger();
    QCOMPARE(f->NotesForm(), ed);
    QCOMPARE(CallEdit(ed)->text(), QString("K1ABC"));
    QCOMPARE(Memo(ed)->toPlainText(), QString());
    Memo(ed)->setPlainText("Boston");
    ed->SaveBtnClick();
    QCOMPARE(Caption(), QString("Edit note..."));
    ed->DeleteBtnClick();
    QCOMPARE(Caption(), QString("Add note..."));

    // No notes file: the caption stays, the command says how to set one, and the editor no
    // longer works on the closed file.
    f->OpenNotesFile("");
    QVERIFY(!f->Notes());
    QVERIFY(!ed->Notes());
    QCOMPARE(Caption(), QString("Notes..."));
    f->FindCall("W1AW");
    QCOMPARE(Caption(), QString("Notes..."));
    CallEdit(ed)->setText("w1aw");
    ed->SearchBtnClick();
    QCOMPARE(Texts(), QStringList());
    W<QPushButton>(f, "ShowNotesBtn")->click();
    QCOMPARE(Texts(), QStringList({kNoNotesFile}));
    QCOMPARE(boxes_[0].flags, mbOK | mbIconError);

    // The same name again opens the file again.
    boxes_.clear();
    f->OpenNotesFile(notesFile_.toStdString());
    QVERIFY(f->Notes());
    QCOMPARE(Caption(), QString("Edit note..."));  // W1AW shown
    f->ShowCurrentEntry();
    QCOMPARE(Caption(), QString("Edit note..."));
    f->ShowNotesBtnClick();
    QCOMPARE(ed->Notes(), f->Notes());
    QCOMPARE(Memo(ed)->toPlainText(), QString("League HQ"));
    QCOMPARE(Texts(), QStringList());

    // Closing the program closes the notes file (open flag 0).
    main_.reset();
    QCOMPARE(RawRecord(notesFile_, 0).at(1), '\0');
  }

  // At start the entry of the start call is shown before the notes file opens; its caption is
  // right all the same. A call the notes file cannot hold leaves the caption as it was.
  void notesCaptionAtStartAndOnFailure() {
    SaveNote("w1aw", "League HQ\r\n");
    QFile f(ini_);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=W1AW\n[General]\nNotesDataFilename=" +
            notesFile_.toLocal8Bit() + "\n");
    f.close();
    main_ = std::make_unique<TCallViewForm>();
    QCOMPARE(main_->ShownCall(), QString("W1AW"));
    QCOMPARE(Caption(), QString("Edit note..."));
    main_->FindCall("4U/ITU");
    QCOMPARE(main_->ShownCall(), QString("4U/ITU"));
    QCOMPARE(Caption(), QString("Edit note..."));
    main_->FindCall("K1ABC");
    QCOMPARE(Caption(), QString("Add note..."));
    main_->FindCall("4U/ITU");
    QCOMPARE(Caption(), QString("Add note..."));
    QCOMPARE(Texts(), QStringList());
  }

  void noNotesFileNamed() {
    TCallViewForm* f = CreateMain("");
    QVERIFY(!f->Notes());
    f->FindCall("W1AW");
    QCOMPARE(Caption(), QString("Notes..."));
    f->ShowNotesBtnClick();
    QCOMPARE(Texts(), QStringList({kNoNotesFile}));
    QVERIFY(!f->NotesForm());
  }

  void missingCallWithNoteOpensEditor() {
    SaveNote("k5zzz", "Worked on 20 m\r\n");
    TCallViewForm* f = CreateMain(notesFile_);
    f->SwitchToUS();
    W<QComboBox>(f, "CallEdit")->setEditText("K5ZZZ");
    f->SearchCallEdit();
    QCOMPARE(Texts(), QStringList());
    TEditNotesForm* ed = f->NotesForm();
    QVERIFY(ed);
    QVERIFY(ed->isVisible());
    QCOMPARE(CallEdit(ed)->text(), QString("k5zzz"));
    QCOMPARE(Memo(ed)->toPlainText(), QString("Worked on 20 m"));

    // Without a note the not-found message as ever.
    W<QComboBox>(f, "CallEdit")->setEditText("K5ZZY");
    f->SearchCallEdit();
    QCOMPARE(Texts(),
             QStringList({"Call \"k5zzy\" not found. Displaying the next greater entry."}));
    QCOMPARE(CallEdit(ed)->text(), QString("k5zzz"));
  }

  void notesFileOfAnotherProgram() {
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {kHoldOption, notesFile_});
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine(), QByteArray("held\n"));

    TCallViewForm* f = CreateMain(notesFile_);
    QCOMPARE(Texts(), QStringList({"Could not open the notes file: The notes file is in use by "
                                   "another program (I/O error 5)"}));
    QCOMPARE(boxes_[0].flags, mbOK | mbIconError);
    QVERIFY(!f->Notes());
    f->FindCall("W1AW");
    QCOMPARE(Caption(), QString("Notes..."));
    boxes_.clear();
    f->ShowNotesBtnClick();
    QCOMPARE(Texts(), QStringList({kNoNotesFile}));

    // Once the other program has ended, the same name opens.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    boxes_.clear();
    f->OpenNotesFile(notesFile_.toStdString());
    QVERIFY(f->Notes());
    QCOMPARE(Texts(), QStringList());
  }

  void notesFileOfAnotherKind() {
    QFile other(notesFile_);
    QVERIFY(other.open(QIODevice::WriteOnly));
    const QByteArray content(600, 'q');
    other.write(content);
    other.close();
    TCallViewForm* f = CreateMain(notesFile_);
    QCOMPARE(Texts(), QStringList({"Could not open the notes file: Notes file has wrong file id"}));
    QVERIFY(!f->Notes());
    main_.reset();
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), content);
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the editor with a note into notes.png.
  // Every printable character of code page 437, typed into the memo, saved with Alt+S, and read
  // back after the notes file has been closed and opened again: the same text, the code page's
  // bytes in the file, no question asked.
  void everyCodePageCharacterRoundTrips() {
    QString typed;
    for (char16_t c = 0x20; c < 0x7F; ++c) typed += QChar(c);
    typed += QString::fromUtf16(kCp437High, 128);
    QCOMPARE(typed.size(), 95 + 128);
    {
      TNotes notes(notesFile_.toStdString());
      TEditNotesForm ed;
      ed.SetNotes(&notes);
      ShowActive(&ed);
      CallEdit(&ed)->setFocus();
      QTest::keyClicks(CallEdit(&ed), "dl1abc");
      Memo(&ed)->setFocus();
      TypeText(Memo(&ed), typed);
      QCOMPARE(RawMemo(&ed), typed);
      QTest::keyClick(&ed, Qt::Key_S, Qt::AltModifier);
      QCOMPARE(Texts(), QStringList());
      QVERIFY(!Memo(&ed)->document()->isModified());
    }
    // The bytes as the code page numbers them, ended by CR LF.
    const QByteArray raw = RawRecord(notesFile_, 1);
    QCOMPARE(static_cast<int>(static_cast<uint8_t>(raw[8])), 95 + 128 + 2);
    for (int i = 0; i < 95 + 128; ++i) {
      const int want = i < 95 ? 0x20 + i : 0x80 + (i - 95);
      QCOMPARE(static_cast<int>(static_cast<uint8_t>(raw[9 + i])), want);
    }
    // A new start: the note reads back as typed.
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    CallEdit(&ed)->setFocus();
    QTest::keyClicks(CallEdit(&ed), "DL1ABC");
    QTest::keyClick(&ed, Qt::Key_F, Qt::AltModifier);
    QCOMPARE(RawMemo(&ed), typed);
    QCOMPARE(Texts(), QStringList());
  }

  // A character the notes file cannot hold is named before saving, with its nearest one; Yes
  // stores the nearest ones (and the memo shows them), No goes back to editing with nothing
  // stored and the character selected.
  void charactersOutsideTheCodePageAreAsked_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("named");  // "char (U+XXXX)" and "char → nearest"
    QTest::addColumn<QByteArray>("stored");  // after Yes
    QTest::newRow("en dash") << U(u"40\u2013160 m")
                             << QStringList{U(u"\u2013 (U+2013)"), U(u"\u2013 \u2192 -")}
                             << QByteArray("40-160 m\r\n");
    QTest::newRow("o with stroke") << U(u"S\u00f8ren, M\u00fcller")
                                   << QStringList{U(u"\u00f8 (U+00F8)"), U(u"\u00f8 \u2192 o")}
                                   << QByteArray("Soren, M\x81ller\r\n");
    QTest::newRow("curly quotes") << U(u"\u201cQRP\u201d \u201cQRP\u201d")
                                  << QStringList{U(u"\u201c (U+201C)"), U(u"\u201d (U+201D)"),
                                                 U(u"\u201c \u2192 \""), U(u"\u201d \u2192 \"")}
                                  << QByteArray("\"QRP\" \"QRP\"\r\n");
    QTest::newRow("no near form") << U(u"73 \u4e2d")
                                  << QStringList{U(u"\u4e2d (U+4E2D)"), U(u"\u4e2d \u2192 ?")}
                                  << QByteArray("73 ?\r\n");
  }
  void charactersOutsideTheCodePageAreAsked() {
    QFETCH(QString, typed);
    QFETCH(QStringList, named);
    QFETCH(QByteArray, stored);
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    CallEdit(&ed)->setFocus();
    QTest::keyClicks(CallEdit(&ed), "g3xyz");
    Memo(&ed)->setFocus();
    TypeText(Memo(&ed), typed);
    // No: nothing stored, the text as typed, the first character in question selected.
    answer_ = idNo;
    QTest::keyClick(&ed, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(boxes_.size(), 1);
    for (const QString& n : named) QVERIFY2(boxes_[0].text.contains(n), qPrintable(boxes_[0].text));
    QVERIFY(boxes_[0].text.contains("cannot hold"));
    QVERIFY(!notes.HasNote("g3xyz"));
    QCOMPARE(RawMemo(&ed), typed);
    QVERIFY(Memo(&ed)->document()->isModified());
    QVERIFY(Memo(&ed)->textCursor().hasSelection());
    // Yes: the nearest characters stored and shown.
    answer_ = idYes;
    boxes_.clear();
    QTest::keyClick(&ed, Qt::Key_S, Qt::AltModifier);
    QCOMPARE(boxes_.size(), 1);
    TNoteRec rec;
    QVERIFY(notes.ReadNote("g3xyz", rec));
    QCOMPARE(QByteArray::fromStdString(rec.Text), stored);
    QCOMPARE(RawMemo(&ed), QString::fromStdString(Cp437ToUtf8(stored.chopped(2).toStdString())));
    QVERIFY(!Memo(&ed)->document()->isModified());
  }

  // Saving on the way to another call asks the same; No keeps the call and the text.
  void savingBeforeAnotherCallAsksToo() {
    TNotes notes(notesFile_.toStdString());
    TEditNotesForm ed;
    ed.SetNotes(&notes);
    ShowActive(&ed);
    CallEdit(&ed)->setFocus();
    QTest::keyClicks(CallEdit(&ed), "g3xyz");
    Memo(&ed)->setFocus();
    TypeText(Memo(&ed), U(u"Bj\u00f8rn"));
    answer_ = idYes;  // yes, save first ...
    int asked = 0;
    SetMessageHandler([this, &asked](TMessageRequest& r) {
      boxes_ << r;
      return ++asked == 1 ? static_cast<int>(idYes) : static_cast<int>(idNo);  // ... then No
    });
    QVERIFY(!ed.SetCall("dl1abc"));
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_;
    });
    QCOMPARE(boxes_.size(), 2);
    QVERIFY(boxes_[1].text.contains(U(u"\u00f8 \u2192 o")));
    QCOMPARE(CallEdit(&ed)->text(), QString("g3xyz"));
    QCOMPARE(RawMemo(&ed), U(u"Bj\u00f8rn"));
    QVERIFY(!notes.HasNote("g3xyz"));
  }

  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    SaveNote("dl1abc",
             "Met Hans at Friedrichshafen 1998.\r\nQSL via bureau, "
             "prefers CW on 40 m.\r\nSked Sundays 0800 UTC\r\n");
    TCallViewForm* f = CreateMain(notesFile_);
    f->FindCall("DL1ABC");
    f->ShowNotesBtnClick();
    TEditNotesForm* ed = f->NotesForm();
    QVERIFY(ed);
    QTest::qWait(200);
    QDir().mkpath(dir);
    QVERIFY(ed->grab().save(dir + "/notes.png"));
    QVERIFY(f->grab().save(dir + "/notes-main.png"));
    auto* menu = W<QMenu>(ed, "NotesPopupMenu");
    menu->popup(ed->mapToGlobal(QPoint(60, 60)));
    QTest::qWait(200);
    QVERIFY(menu->grab().save(dir + "/notes-menu.png"));
    menu->close();
  }
};

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kHoldOption) == 0) return HoldNotes(argv[2]);
  QApplication app(argc, argv);
  TstNotes test;
  return QTest::qExec(&test, argc, argv);
}

#include "tst_notes.moc"
