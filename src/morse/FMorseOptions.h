#pragma once
// The "Set Morsecode Options" dialog: speed step, pitch and volume, with a test text sent
// through the "CW Output" window's worker. Edits a copy; the caller takes Get() on OK.
#include <QDialog>
#include <memory>

#include "settings/USettings.h"

class TCWOutputForm;

namespace Ui {
class TSetMorseOptionsDlg;
}

class TSetMorseOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 10013;

  // output runs the Test button's sound and stays the caller's.
  explicit TSetMorseOptionsDlg(TCWOutputForm* output, QWidget* parent = nullptr);
  ~TSetMorseOptionsDlg() override;

  void Load(const TMorseOptions& options);
  TMorseOptions Get() const;

 public slots:
  void SpeedBarChange();
  void PitchBarChange();
  void MorseBtnClick();
  void StopBtnClick();
  void RestoreBtnClick();
  void HelpBtnClick();

 signals:
  // Help command 3 with the dialog's help context.
  void HelpRequested(int context);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<Ui::TSetMorseOptionsDlg> ui;
  TCWOutputForm* output_;
};

inline constexpr const char* kMorseTestText = "paris paris paris paris paris";
