// The text search dialog and the main window's text search on the fixture edition: the word list
// box for typed words and field tags, the spin arrows and keys, the search list with its 14-word
// limit and its refusal of prefixes, OK with an empty search list, the evaluation with its
// progress window and abort, the count box and the "Search results" order, and a data set whose
// U.S. word list is missing.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "WindowTestEnv.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "report/UReport.h"
#include "storage/UIndexEngine.h"
#include "textsearch/FProgressDlg.h"
#include "textsearch/FWordSearch.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

namespace {

const QString kFound = "Number of entries found: ";

// Runs f on the modal dialog of type T once it is shown (from inside its event loop).
template <class T>
void WhenModal(std::function<void(T*)> f, int attempts = 100) {
  QTimer::singleShot(10, [f, attempts] {
    if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) return f(d);
    if (attempts > 0) WhenModal<T>(f, attempts - 1);
  });
}

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

// A user's double click: the first click, then the double click.
void DoubleClick(QListWidget* list, int row) {
  const QPoint at = list->visualItemRect(list->item(row)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

QStringList SelectedRows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->isSelected()) rows << list->item(i)->text();
  return rows;
}

}  // namespace

class TstTextSearch : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<fixture::TFixtureEdition> edition_;
  std::unique_ptr<TestDir> iniDir_;
  QString ini_;
  QList<TMessageRequest> boxes_;
  std::unique_ptr<TCallViewForm> form_;
  std::unique_ptr<TWortListe> usWords_, intlWords_;

  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  TCallViewForm* CreateMain(const QString& moreSettings = {}) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write the ini");
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=W1AW\n" + moreSettings.toLocal8Bit());
    f.close();
    form_ = std::make_unique<TCallViewForm>();
    return form_.get();
  }
  template <class T>
  static T* W(const QObject* parent, const char* name) {
    T* w = parent->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  static TWordSpinEdit* Edit(const QObject* d) { return W<TWordSpinEdit>(d, "WordEdit"); }
  static QListWidget* WordRows(const QObject* d) { return W<QListWidget>(d, "WordList"); }
  static QListWidget* SearchRows(const QObject* d) { return W<QListWidget>(d, "SuchListe"); }
  static QPushButton* Button(const QObject* d, const char* name) { return W<QPushButton>(d, name); }
  // Types a word and adds the word list box row that equals it.
  static void AddWord(TTextSearchDlg* d, const QString& word) {
    Edit(d)->SetText(word);
    QListWidget* rows = WordRows(d);
    rows->clearSelection();
    for (int i = 0; i < rows->count(); ++i)
      if (rows->item(i)->text() == word) rows->item(i)->setSelected(true);
    Button(d, "AddBtn")->click();
  }
  // A dialog on a word list with its own search list.
  std::unique_ptr<TTextSearchDlg> Dialog(TWortListe* words, TSuchInfo& info, TSearchKind kind) {
    auto d = std::make_unique<TTextSearchDlg>();
    d->SetWordList(words);
    d->SetSearchInfo(&info);
    d->SetKind(kind);
    d->UpdateWordList();
    return d;
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    edition_ = std::make_unique<fixture::TFixtureEdition>();
    OpenTestEdition(edition_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    std::string message;
    usWords_ = OpenWordList(TDatabase::US, message);
    intlWords_ = OpenWordList(TDatabase::Intl, message);
    QVERIFY(usWords_ && intlWords_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
  }
  void cleanupTestCase() {
    form_.reset();
    usWords_.reset();
    intlWords_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() { boxes_.clear(); }
  void cleanup() { form_.reset(); }

  void searchListButtonsAndLimit() {
    TSuchInfo info;
    auto d = Dialog(usWords_.get(), info, skUS);
    d->show();
    QVERIFY(QTest::qWaitForWindowActive(d.get()));
    QCOMPARE(d->windowTitle(), QString("Text search"));
    // 0 entries: only adding is possible.
    QCOMPARE(SearchRows(d.get())->count(), 0);
    QVERIFY(Button(d.get(), "AddBtn")->isEnabled());
    QVERIFY(!Button(d.get(), "RemoveBtn")->isEnabled());
    QVERIFY(!Button(d.get(), "ClearBtn")->isEnabled());

    // 14 words in ascending order, each on top of the search list, selected alone.
    Edit(d.get())->SetText("a");
    const QStringList words = Rows(WordRows(d.get()));
    QCOMPARE(words.size(), 14);
    for (const QString& w : words) {
      AddWord(d.get(), w);
      QVERIFY2(SearchRows(d.get())->item(0)->text().startsWith(w + " ("), qPrintable(w));
      QCOMPARE(SelectedRows(SearchRows(d.get())).size(), 1);
      QVERIFY(SearchRows(d.get())->item(0)->isSelected());
    }
    QCOMPARE(SearchRows(d.get())->count(), 14);
    QCOMPARE(info.Count(), 14);
    QVERIFY(!Button(d.get(), "AddBtn")->isEnabled());
    QVERIFY(Button(d.get(), "RemoveBtn")->isEnabled());
    QVERIFY(Button(d.get(), "ClearBtn")->isEnabled());
    // A 15th word is impossible, also by a double click in the word list.
    Edit(d.get())->SetText("t");
    QListWidget* rows = WordRows(d.get());
    DoubleClick(rows, 0);
    QCOMPARE(SearchRows(d.get())->count(), 14);
    QCOMPARE(info.Count(), 14);

    // Remove takes the selected entry, then the first is selected; the lists stay in step.
    QListWidget* search = SearchRows(d.get());
    search->clearSelection();
    search->item(3)->setSelected(true);
    const QString removed = search->item(3)->text();
    Button(d.get(), "RemoveBtn")->click();
    QCOMPARE(search->count(), 13);
    QVERIFY(!Rows(search).contains(removed));
    QCOMPARE(SelectedRows(search), QStringList({search->item(0)->text()}));
    QCOMPARE(Rows(search), [&] {
      QStringList t;
      for (const std::string& s : info.DisplayTexts()) t << QString::fromStdString(s);
      return t;
    }());
    QVERIFY(Button(d.get(), "AddBtn")->isEnabled());
    // Below 14 a double click in the word list adds; one in the search list removes.
    Edit(d.get())->SetText("t");
    DoubleClick(rows, 0);
    QCOMPARE(search->count(), 14);
    QVERIFY(search->item(0)->text().startsWith(rows->item(0)->text() + " ("));
    DoubleClick(search, 0);
    QCOMPARE(search->count(), 13);
    QCOMPARE(info.Count(), 13);
    Button(d.get(), "ClearBtn")->click();
    QCOMPARE(search->count(), 0);
    QVERIFY(info.Empty());
    QVERIFY(!Button(d.get(), "RemoveBtn")->isEnabled());
    QVERIFY(!Button(d.get(), "ClearBtn")->isEnabled());

    // An empty word list box: nothing to add (International words have no field tags).
    TSuchInfo intlInfo;
    auto intl = Dialog(intlWords_.get(), intlInfo, skIntl);
    Edit(intl.get())->SetText("zzzz");
    QCOMPARE(WordRows(intl.get())->count(), 0);
    QVERIFY(!Button(intl.get(), "AddBtn")->isEnabled());
  }

  void addingAPrefixIsRefused() {
    TSuchInfo info;
    auto d = Dialog(usWords_.get(), info, skUS);
    AddWord(d.get(), "state=ct");
    QCOMPARE(Rows(SearchRows(d.get())), QStringList({"state=ct (1)"}));
    // "st" is a word of its own, but the beginning of the entry already listed.
    Edit(d.get())->SetText("st");
    QCOMPARE(SelectedRows(WordRows(d.get())), QStringList({"st"}));
    Button(d.get(), "AddBtn")->click();
    QCOMPARE(SearchRows(d.get())->count(), 1);
    // The same word again is refused too.
    AddWord(d.get(), "state=ct");
    QCOMPARE(info.Count(), 1);
    // Once the longer entry is gone, the word goes in.
    Button(d.get(), "ClearBtn")->click();
    AddWord(d.get(), "st");
    QCOMPARE(info.Count(), 1);
    QVERIFY(SearchRows(d.get())->item(0)->text().startsWith("st ("));
  }

  void wordListForTypedText() {
    TSuchInfo info;
    auto d = Dialog(usWords_.get(), info, skUS);
    // "city=" lists the words of the city field, shown with their prefix.
    Edit(d.get())->SetText("city=");
    const QStringList cities = {"city=albany",  "city=austin",    "city=bangor", "city=boston",
                                "city=chicago", "city=dayton",    "city=denver", "city=fresno",
                                "city=macon",   "city=newington", "city=omaha",  "city=salem",
                                "city=tampa",   "city=tulsa"};
    QCOMPARE(Rows(WordRows(d.get())), cities);
    QVERIFY(SelectedRows(WordRows(d.get())).isEmpty());
    Edit(d.get())->SetText("city=boston");
    QCOMPARE(WordRows(d.get())->item(0)->text(), QString("city=boston"));
    QCOMPARE(SelectedRows(WordRows(d.get())), QStringList({"city=boston"}));
    // A capital letter does not select the field: plain words follow.
    Edit(d.get())->SetText("City=");
    QVERIFY(!WordRows(d.get())->item(0)->text().startsWith("city="));
    QVERIFY(WordRows(d.get())->item(0)->text() > QString("city="));

    // A word that is not in the list: the next 14 greater words, none selected.
    Edit(d.get())->SetText("bq");
    const QStringList next = Rows(WordRows(d.get()));
    QCOMPARE(next.size(), 14);
    QVERIFY(SelectedRows(WordRows(d.get())).isEmpty());
    QVERIFY(next.first() > QString("bq"));
    QVERIFY(std::is_sorted(next.begin(), next.end()));

    // International: no field tags.
    TSuchInfo intlInfo;
    auto intl = Dialog(intlWords_.get(), intlInfo, skIntl);
    Edit(intl.get())->SetText("city=");
    for (const QString& w : Rows(WordRows(intl.get()))) QVERIFY(!w.startsWith("city="));
  }

  void spinArrowsAndKeys() {
    TSuchInfo info;
    auto d = Dialog(intlWords_.get(), info, skIntl);
    d->show();
    TWordSpinEdit* edit = Edit(d.get());
    edit->SetText("hans");
    const QStringList rows = Rows(WordRows(d.get()));
    // Down arrow: the next word, which also refills the list; up arrow: back.
    edit->stepBy(-1);
    QCOMPARE(edit->text(), rows.at(1));
    QCOMPARE(WordRows(d.get())->item(0)->text(), rows.at(1));
    edit->stepBy(1);
    QCOMPARE(edit->text(), QString("hans"));
    // Up from a text that is not a word: the word right before it.
    edit->SetText("hanz");
    edit->stepBy(1);
    QCOMPARE(edit->text(), QString("hans"));
    // Down on the last word leaves the edit unchanged.
    edit->SetText("zzzz");
    edit->stepBy(1);
    const QString last = edit->text();
    QVERIFY(last != "zzzz");
    edit->stepBy(-1);
    QCOMPARE(edit->text(), last);
    QVERIFY(boxes_.isEmpty());

    // Only ' 0-9 = A-Z a-z are taken; others are refused.
    edit->SetText(QString());
    edit->setFocus();
    QTest::keyClicks(edit, "Ab c-d'e=1.x");
    QCOMPARE(edit->text(), QString("Abcd'e=1x"));
    // Escape cancels, Enter is OK.
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QVERIFY(!d->isVisible());
    d->show();
    edit->SetText("hans");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(d->result(), int(QDialog::Accepted));
    // OK with an empty search list searched the selected word, which stays in the list.
    QVERIFY(d->Result());
    QCOMPARE(d->Result()->GetCount(), 1);
    QCOMPARE(info.Count(), 1);
    QVERIFY(info.Item(0).DisplayText().starts_with("hans ("));
  }

  void okWithoutSelectionFindsNothing() {
    TSuchInfo info;
    auto d = Dialog(usWords_.get(), info, skUS);
    Edit(d.get())->SetText("bq");
    QVERIFY(SelectedRows(WordRows(d.get())).isEmpty());
    Button(d.get(), "OKBtn")->click();
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QVERIFY(!d->Result());
    QVERIFY(info.Empty());
    // Help asks for the dialog's help context.
    int context = 0;
    connect(d.get(), &TTextSearchDlg::HelpRequested, [&context](int c) { context = c; });
    Button(d.get(), "HelpBtn")->click();
    QCOMPARE(context, 10005);
  }

  void searchFromTheMainWindow() {
    TCallViewForm* f = CreateMain();
    QVERIFY(!f->IsIntl());
    QAction* menu = W<QAction>(f, "SearchTextSearchMenu");
    QVERIFY(menu->isEnabled());
    // Two words that 1200 entries share.
    WhenModal<TTextSearchDlg>([](TTextSearchDlg* d) {
      QCOMPARE(d->Kind(), skUS);
      AddWord(d, "elm");
      AddWord(d, "pat");
      Button(d, "OKBtn")->click();
    });
    menu->trigger();
    QCOMPARE(Texts(), QStringList({kFound + "1200"}));
    QCOMPARE(boxes_[0].caption, QString(kApplicationTitle));
    QVERIFY(!f->ModalRunning());
    QVERIFY(W<QRadioButton>(f, "SortByResultsRadBtn")->isChecked());
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString("1 of 1200"));
    QCOMPARE(f->GetResultCount(), 1200);
    const TResultSource* results = f->Lookup().Results();
    QVERIFY(results);
    for (int32_t i = 1; i < results->Count(); ++i) QVERIFY(results->Item(i) < results->Item(i + 1));
    QCOMPARE(f->Lookup().CurrentRef(), results->Item(1));
    W<QPushButton>(f, "VorBtn")->click();
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString("2 of 1200"));
    QCOMPARE(f->Lookup().CurrentRef(), results->Item(2));
    QVERIFY(W<QComboBox>(f, "CallEdit")->currentText().startsWith("KB"));

    // The search list stays for the next opening; Cancel changes nothing.
    boxes_.clear();
    QStringList kept;
    WhenModal<TTextSearchDlg>([&kept](TTextSearchDlg* d) {
      kept = Rows(SearchRows(d));
      Button(d, "CancelBtn")->click();
    });
    menu->trigger();
    QCOMPARE(kept, QStringList({"pat (1200)", "elm (1200)"}));
    QVERIFY(boxes_.isEmpty());
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString("2 of 1200"));

    // Two words without a common entry: 0 found, the call order selected.
    WhenModal<TTextSearchDlg>([](TTextSearchDlg* d) {
      Button(d, "ClearBtn")->click();
      AddWord(d, "denver");
      AddWord(d, "tulsa");
      Button(d, "OKBtn")->click();
    });
    menu->trigger();
    QCOMPARE(Texts(), QStringList({kFound + "0"}));
    QVERIFY(W<QRadioButton>(f, "SortByCallRadBtn")->isChecked());
    QCOMPARE(f->GetResultCount(), 0);
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString());

    // Aborted in the progress window: no result.
    boxes_.clear();
    bool sawProgress = false;
    WhenModal<TTextSearchDlg>([&sawProgress](TTextSearchDlg* d) {
      Button(d, "ClearBtn")->click();
      AddWord(d, "elm");
      AddWord(d, "pat");
      QTimer::singleShot(0, [d, &sawProgress] {
        auto* wait = d->findChild<TWaitDlg*>();
        if (!wait || !wait->isVisible()) return;
        sawProgress = wait->windowTitle() == "Searching...";
        W<QPushButton>(wait, "AbortBtn")->click();
      });
      Button(d, "OKBtn")->click();
    });
    menu->trigger();
    QVERIFY(sawProgress);
    QCOMPARE(Texts(), QStringList({kFound + "0"}));

    // A double click on "Search results" opens the dialog too; one word, the International list.
    f->SwitchToIntl();
    boxes_.clear();
    WhenModal<TTextSearchDlg>([](TTextSearchDlg* d) {
      QCOMPARE(d->Kind(), skIntl);
      QVERIFY(Rows(SearchRows(d)).isEmpty());  // each database has its own search list
      Edit(d)->SetText("hans");
      Button(d, "OKBtn")->click();
    });
    QTest::mouseDClick(W<QRadioButton>(f, "SortByResultsRadBtn"), Qt::LeftButton);
    QCOMPARE(Texts(), QStringList({kFound + "1"}));
    QCOMPARE(W<QComboBox>(f, "CallEdit")->currentText(), QString("DL1ABC"));
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString("1 of 1"));

    // While another command's box is open nothing happens.
    boxes_.clear();
    f->SetModalRunning(true);
    menu->trigger();
    f->SetModalRunning(false);
    QVERIFY(boxes_.isEmpty());
  }

  void noResultSelectsTheCallOrderOnlyWhenAnotherOne() {
    // Report mode "always" makes every display of an entry visible in the report file.
    TestDir work;
    const std::string report = work.file("report.txt");
    TCallViewForm* f = CreateMain(QString("[Report]\nReportOptions=2\nReportFilename=%1\n")
                                      .arg(QString::fromStdString(report)));
    const auto lines = [&report] {
      QFile r(QString::fromStdString(report));
      return r.open(QIODevice::ReadOnly) ? QString::fromLatin1(r.readAll()) : QString();
    };
    QCOMPARE(lines(), QString("W1AW\r\n"));
    const auto noCommonEntry = [](TTextSearchDlg* d) {
      Button(d, "ClearBtn")->click();
      AddWord(d, "denver");
      AddWord(d, "tulsa");
      Button(d, "OKBtn")->click();
    };
    // In the call order already: the order stays and the entry is not shown again.
    WhenModal<TTextSearchDlg>(noCommonEntry);
    W<QAction>(f, "SearchTextSearchMenu")->trigger();
    QCOMPARE(Texts(), QStringList({kFound + "0"}));
    QVERIFY(W<QRadioButton>(f, "SortByCallRadBtn")->isChecked());
    QCOMPARE(lines(), QString("W1AW\r\n"));
    // From the name order the call order is selected, which shows the entry.
    W<QRadioButton>(f, "SortByNameRadBtn")->click();
    QVERIFY(!f->Lookup().InResults());
    WhenModal<TTextSearchDlg>(noCommonEntry);
    W<QAction>(f, "SearchTextSearchMenu")->trigger();
    QVERIFY(W<QRadioButton>(f, "SortByCallRadBtn")->isChecked());
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSCall));
    QCOMPARE(lines(), QString("W1AW\r\nW1AW\r\nW1AW\r\n"));
    QCOMPARE(f->GetResultCount(), 0);
    form_.reset();
    CloseReportFile();
  }

  void missingWordList() {
    // A copy of the edition without the U.S. word index.
    TestDir copy;
    namespace fs = std::filesystem;
    fs::copy(edition_->path(), copy.path(), fs::copy_options::recursive);
    fs::remove(fs::path(copy.path()) / "data" / "uswort.idx");
    CloseDataSet();
    SetHomeDir(copy.path());
    OpenDataSet();
    TCallViewForm* f = CreateMain();
    QCOMPARE(Texts(), QStringList({"Can't open USWordList: 2 (File not found)"}));
    QCOMPARE(boxes_[0].flags, mbOK | mbIconError);
    QVERIFY(!f->WordList(TDatabase::US));
    QVERIFY(f->WordList(TDatabase::Intl));
    boxes_.clear();
    W<QAction>(f, "SearchTextSearchMenu")->trigger();
    QCOMPARE(
        Texts(),
        QStringList({"Due an initialisation error, text search is not possible at the moment."}));
    QVERIFY(!f->ModalRunning());
    // The International database still searches.
    f->SwitchToIntl();
    boxes_.clear();
    WhenModal<TTextSearchDlg>([](TTextSearchDlg* d) {
      Edit(d)->SetText("smith");
      Button(d, "OKBtn")->click();
    });
    W<QAction>(f, "SearchTextSearchMenu")->trigger();
    QCOMPARE(Texts(), QStringList({kFound + "1"}));
    form_.reset();
    CloseDataSet();
    SetHomeDir(edition_->path());
    OpenDataSet();
  }
};

QTEST_MAIN(TstTextSearch)
#include "tst_textsearch.moc"
