#pragma once
// The text search dialog "Text search": browses the word list of one database, builds the search
// list (up to 14 words, kept by the main window per database) and runs the evaluation on OK. The
// result, the entries that contain every word, passes to the main window.
#include <QAbstractSpinBox>
#include <QDialog>
#include <memory>

#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

class QListWidget;

namespace Ui {
class TTextSearchDlg;
}

// The word edit: a text edit with spin arrows. The arrows (and the Up/Down keys) step through the
// word list; only the characters ' 0-9 = A-Z a-z are accepted, other printable ones beep.
class TWordSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit TWordSpinEdit(QWidget* parent = nullptr);
  void SetText(const QString& text);
  void stepBy(int steps) override;

 signals:
  void UpClicked();
  void DownClicked();
  void TextChanged(const QString& text);
  void ReturnPressed();

 protected:
  StepEnabled stepEnabled() const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void keyPressEvent(QKeyEvent* event) override;
};

class TTextSearchDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10005;

  explicit TTextSearchDlg(QWidget* parent = nullptr);
  ~TTextSearchDlg() override;

  // The word list to browse and the search list of its database; both stay the caller's. The
  // search list fills the search list box.
  void SetWordList(TWortListe* list) { wordList_ = list; }
  void SetSearchInfo(TSuchInfo* info);
  void SetKind(TSearchKind kind) { kind_ = kind; }
  TSearchKind Kind() const { return kind_; }

  // Lists the word typed (when it exists) and the words after it, 14 rows at most.
  void UpdateWordList();

  // Result of the last evaluation: the references of the entries found, ascending; null when
  // nothing was found, the search was aborted or not run.
  const TFinalVerweisListe* Result() const { return result_.get(); }
  std::unique_ptr<TFinalVerweisListe> TakeResult() { return std::move(result_); }

 public slots:
  void AddBtnClick();
  void RemoveBtnClick();
  void ClearBtnClick();
  void OKBtnClick();
  void CancelBtnClick();
  void HelpBtnClick();
  void WordEditDownClick();
  void WordEditUpClick();

 signals:
  // Help command 3 with the dialog's help context.
  void HelpRequested(int context);

 protected:
  bool event(QEvent* event) override;

 private:
  void SetButtons();
  void DoTextSearch();
  void ShowReadError(int code);
  void FocusWordEdit();
  static void SelectOnlyFirst(QListWidget* list);
  static int FirstSelectedRow(const QListWidget* list);

  std::unique_ptr<Ui::TTextSearchDlg> ui;
  TWortListe* wordList_ = nullptr;
  TSuchInfo* info_ = nullptr;
  TSearchKind kind_ = skUS;
  std::unique_ptr<TFinalVerweisListe> result_;
};
