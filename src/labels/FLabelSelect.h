#pragma once
// "Select predefined label": the eight label templates of the data set.
#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TSelectLabelTemplateDlg;
}

class TSelectLabelTemplateDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10017;
  explicit TSelectLabelTemplateDlg(QWidget* parent = nullptr);
  ~TSelectLabelTemplateDlg() override;
  // Path of the selected template under the data set's home directory (the Avery 5160 file
  // when nothing is selected).
  std::string SelectedPath() const;

 signals:
  void HelpRequested(int context);

 private:
  std::unique_ptr<Ui::TSelectLabelTemplateDlg> ui;
};

// Shows the dialog: the template's path on OK, empty on Cancel. A failure is shown in the error
// box and gives an empty path.
std::string SelectPredefinedTemplate(QWidget* parent);
