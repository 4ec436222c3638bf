#pragma once
// An edit for a file path: while it has no focus and the path is wider than the field, it shows
// the path with its middle elided ("/home/…/notes.ndf") and the whole path as its tooltip; with
// the focus it edits the whole path as any edit does. text() is always the whole path.
#include <QLineEdit>

class TPathEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TPathEdit(QWidget* parent = nullptr);

  // The text as shown now: the whole path, or the path elided in its middle.
  QString ShownText() const;
  // Room for a path of at least 40 characters, 48 where the window has it.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextRect() const;
};
