#include "ui/FDetail.h"

#include <QLabel>
#include <QMenu>

#include "ui_FDetail.h"

TDetailsForm::TDetailsForm(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TDetailsForm>()) {
  ui->setupUi(this);
  for (QLabel* label : findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  // Fixed single border with system menu and minimise button.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  FormPopupMenu = new QMenu(this);
  FormPopupMenu->setObjectName("FormPopupMenu");
  FormPopupMenu->addAction(ui->CloseWindowItem);
  addAction(ui->CloseWindowItem);
  connect(ui->CloseWindowItem, &QAction::triggered, this, &TDetailsForm::CloseWindowItemClick);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { FormPopupMenu->popup(mapToGlobal(at)); });
  // The client area is 533 x 185 at 96 dpi; it grows only when the fonts need more room.
  setFixedSize(sizeHint().expandedTo(QSize(533, 185)));
}

void TDetailsForm::SetCall(const QString& call) { ui->CallText->setText(call); }

void TDetailsForm::SetDetails(const QString& comments, const QString& fax, const QString& eMail) {
  ui->CommentsText->setText(comments);
  ui->FaxNrText->setText(fax);
  ui->EMailAdrText->setText(eMail);
}

void TDetailsForm::CloseWindowItemClick() { hide(); }

TDetailsForm::~TDetailsForm() = default;

QString TDetailsForm::CallText() const { return ui->CallText->text(); }
QString TDetailsForm::CommentsText() const { return ui->CommentsText->text(); }
QString TDetailsForm::FaxNrText() const { return ui->FaxNrText->text(); }
QString TDetailsForm::EMailAdrText() const { return ui->EMailAdrText->text(); }
