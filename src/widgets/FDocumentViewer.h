#pragma once
// The program's own viewer of text documents, for a desktop that cannot open them: read-only,
// with a find bar; its size is kept in the settings file for the next one. Freed when closed.
// Switched to editing it is the editor of last resort: Save (Ctrl+S) replaces the file whole
// (a new file renamed over it), in the encoding it was read in.
#include <QPlainTextEdit>
#include <QSize>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TDocumentViewerForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultWidth = 720, kDefaultHeight = 560;

  explicit TDocumentViewerForm(QWidget* parent = nullptr);

  // Reads a text file (UTF-8, else code page 437); false when it cannot be read.
  bool Load(const QString& path);
  QString Path() const { return path_; }
  QPlainTextEdit* Text() const { return text_; }
  // Typing changes the text; Save and Ctrl+S write it back.
  void SetEditable();
  bool Editable() const { return !text_->isReadOnly(); }
  // Writes the text to the file: false (message shown) when it cannot.
  bool Save();

 public slots:
  // The next occurrence of the find text after the cursor, from the top again at the end.
  // False (and "Not found" in the bar) when there is none.
  bool FindNext();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPlainTextEdit* text_;
  QLineEdit* findEdit_;
  QPushButton* findNextBtn_;
  QLabel* findResult_;
  QPushButton* saveBtn_;
  QString path_;
  bool cp437_ = false;  // read as code page 437 (not UTF-8): written back so
};

// Where viewers keep their size from one to the next (the program sets its settings file at
// start); without a store a viewer opens at the default size and keeps nothing.
struct TViewerSizeStore {
  std::function<QSize()> load;
  std::function<void(const QSize&)> save;
};
void SetDocumentViewerSizeStore(TViewerSizeStore store);

// Shows a text file in a viewer of its own (one per file: an open one is brought up again),
// for editing when edit is set; false when the file cannot be read.
bool ShowInDocumentViewer(const QString& path, bool edit = false);
