#pragma once
// The details window "Additional Information": comments, fax number and e-mail address of the
// entry shown in the main window, which keeps it in step.
#include <QWidget>
#include <memory>

class QMenu;

namespace Ui {
class TDetailsForm;
}

class TDetailsForm : public QWidget {
  Q_OBJECT

 public:
  explicit TDetailsForm(QWidget* parent = nullptr);
  ~TDetailsForm() override;

  void SetCall(const QString& call);
  void SetDetails(const QString& comments, const QString& fax, const QString& eMail);

  QString CallText() const;
  QString CommentsText() const;
  QString FaxNrText() const;
  QString EMailAdrText() const;

 public slots:
  void CloseWindowItemClick();

 private:
  std::unique_ptr<Ui::TDetailsForm> ui;
  QMenu* FormPopupMenu = nullptr;
};
