#pragma once
// The about box: product, edition and the program's version.
#include <QDialog>
#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class TAboutBox;
}

// "Version: " and the four numbers of a version "a.b.c.d" (missing numbers are 0); "Version: "
// alone when the text is not a version.
std::string VersionLabelText(std::string_view version);

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  ~TAboutBox() override;

 private:
  std::unique_ptr<Ui::TAboutBox> ui;
};
