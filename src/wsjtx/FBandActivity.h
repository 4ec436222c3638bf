#pragma once
// "Band activity": the decodes WSJT-X sends, annotated from the directory as they arrive, the
// newest on top; the last cycles are kept. Filters (only CQ, only new, a continent), colours for
// the flags of the user's log, a double-click shows the caller's entry in the main window (and,
// when the settings say so, answers a CQ in WSJT-X); new entities, states and counties can be
// highlighted in WSJT-X's own window.
#include <QColor>
#include <QDialog>
#include <QVector>
#include <QWidget>
#include <memory>
#include <set>

#include "wsjtx/UWsjtxAnnotate.h"
#include "wsjtx/UWsjtxListener.h"
#include "wsjtx/UWsjtxSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSocketNotifier;
class QSpinBox;
class QTableWidget;
class QTimer;
class TCallbook;

// A station heard in the last cycle, for the map.
struct TStationHeard {
  QString call;
  QString locator;
  QColor colour;
};

class TBandActivityForm : public QWidget {
  Q_OBJECT

 public:
  // Cycles kept in the table (by the decodes' times).
  static constexpr int kCycles = 4;
  // Rows kept at most (a flood of decodes in one cycle drops the oldest).
  static constexpr size_t kMaxRows = 1000;
  static constexpr int kHelpContext = 10040;

  TBandActivityForm(const TCallbook& callbook, QWidget* parent = nullptr);
  ~TBandActivityForm() override;

  // Own locator for distance and heading ("" = none).
  void SetMyLocator(const QString& locator) { myLocator_ = locator.toStdString(); }
  // Applies settings: opens the socket and the log anew. False with the reason shown in the
  // window's status line when the socket cannot be opened.
  bool Apply(const wsjtx::TWsjtxSettings& s);
  const wsjtx::TWsjtxSettings& Settings() const { return settings_; }
  // Handles one datagram as if it came from WSJT-X at from (tests, replays).
  void HandleDatagram(const std::string& bytes, const sockaddr_in& from);

  // State, for tests.
  QTableWidget* Table() const { return table_; }
  int RowsShown() const;
  QString StatusText() const;
  void SetOnlyCq(bool on);
  void SetOnlyNew(bool on);
  void SetContinent(const QString& continent);  // "" = all
  // The colour a row gets for its flags; invalid = none.
  QColor FlagColour(const wsjtx::TFlags& f) const;

 signals:
  // The user chose a call (double-click): the main window shows its entry.
  void CallChosen(const QString& call);
  // The stations of the last cycle with a locator, after each decode.
  void StationsHeard(const QVector<TStationHeard>& stations);

 private:
  struct TRow {
    wsjtx::TDecode decode;
    wsjtx::TDecodeContext context;
    wsjtx::TAnnotation annotation;
    std::string clientId;
    sockaddr_in from{};
  };
  void ReadDatagrams();
  void AddDecode(const wsjtx::TClient& client, const wsjtx::TDecode& d);
  void DropOldCycles();
  void Rebuild();
  // Annotates every row again (the log or the locator changed).
  void Reannotate();
  bool Passes(const TRow& r) const;
  void ShowRow(int tableRow, const TRow& r);
  void RowDoubleClicked(int row);
  void Highlight(const TRow& r);
  void EmitStations();
  void ShowSettingsDialog();
  void ReloadLog();

  const TCallbook& callbook_;
  wsjtx::TAnnotator annotator_;
  wsjtx::TWsjtxSettings settings_;
  wsjtx::TWorkedLog log_;
  bool logOpen_ = false;
  std::string myLocator_;
  wsjtx::TUdpSocket socket_;
  std::unique_ptr<wsjtx::TSession> session_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* logTimer_ = nullptr;
  QTimer* fitTimer_ = nullptr;
  std::vector<TRow> rows_;             // oldest first
  std::vector<const TRow*> shown_;     // table row -> row, newest first
  std::set<std::string> highlighted_;  // calls highlighted in WSJT-X
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
  QCheckBox* onlyCq_ = nullptr;
  QCheckBox* onlyNew_ = nullptr;
  QComboBox* continent_ = nullptr;
  QString lastClient_;
  QString problem_;  // the log that could not be read
};

// The settings of the WSJT-X link: address, port, log file, replies, highlights, colours.
class TWsjtxSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  TWsjtxSettingsDialog(const wsjtx::TWsjtxSettings& s, QWidget* parent = nullptr);
  wsjtx::TWsjtxSettings Result() const;

 private:
  void Accept();
  wsjtx::TWsjtxSettings s_;
  QLineEdit* address_ = nullptr;
  QSpinBox* port_ = nullptr;
  QLineEdit* log_ = nullptr;
  QCheckBox* reply_ = nullptr;
  QCheckBox* highlight_ = nullptr;
};
