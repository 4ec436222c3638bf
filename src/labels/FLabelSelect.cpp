#include "labels/FLabelSelect.h"

#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "labels/ULabelLayout.h"
#include "ui_FLabelSelect.h"
#include "widgets/UHelp.h"
#include "widgets/UMessages.h"

TSelectLabelTemplateDlg::TSelectLabelTemplateDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TSelectLabelTemplateDlg>()) {
  ui->setupUi(this);
  setProperty("helpContext", kHelpContext);
  for (const TPredefinedTemplateName& t : PredefinedTemplateNames())
    ui->LabelListBox->addItem(t.entry);
  ui->LabelListBox->setCurrentRow(0);
  connect(ui->OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(ui->HelpBtn, &QPushButton::clicked, this, [this] { emit HelpRequested(kHelpContext); });
  connect(ui->LabelListBox, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

TSelectLabelTemplateDlg::~TSelectLabelTemplateDlg() = default;

std::string TSelectLabelTemplateDlg::SelectedPath() const {
  const int row = ui->LabelListBox->currentRow();
  const auto& names = PredefinedTemplateNames();
  const char* file = row >= 0 && row < static_cast<int>(names.size())
                         ? names[static_cast<size_t>(row)].file
                         : names.front().file;
  return ResolveDataPath(HomeDir(), std::string("labels\\") + file);
}

std::string SelectPredefinedTemplate(QWidget* parent) {
  try {
    TSelectLabelTemplateDlg dialog(parent);
    QObject::connect(&dialog, &TSelectLabelTemplateDlg::HelpRequested,
                     [](int context) { ShowHelp(context); });
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.SelectedPath();
  } catch (const std::exception& e) {
    ShowErrorBox(e.what());
    return {};
  }
}
