// The entry of a call typed with designators ("KH6/K5DRC", "K5DRC/MM"): the licensee, licence,
// QSL manager and details as stored, and where the station is as the callbook record of every
// other output says it (entity, continent and zones of the prefix, call area or exact call of the
// country file); the home place (address, state, ZIP, county, position, locator) is left out.
#include <exception>

#include "callbook/UCallbook.h"
#include "dataset/ULookup.h"
#include "ui/FTellmarkMain.h"
#include "ui_FTellmarkMain.h"
#include "widgets/UDataText.h"

const TCallbook& TCallViewForm::PlaceCallbook() {
  if (!placeCallbook_) {
    auto callbook = std::make_shared<TCallbook>();
    try {
      callbook->Open();
    } catch (const std::exception&) {
      // Without the country file the record only leaves the home place out.
      callbook = std::make_shared<TCallbook>();
    }
    placeCallbook_ = std::move(callbook);
  }
  return *placeCallbook_;
}

void TCallViewForm::ShowTypedCall() {
  if (typed_.ref < 0) return;
  if (typed_.ref != lookup_.CurrentRef() || typed_.db != lookup_.Database()) {
    typed_ = {};
    return;
  }
  setWindowTitle(QString("%1 - %2 (designators: %3)")
                     .arg(baseTitle_, shownCall_, FromData(typed_.designators)));
  const TCallbook& callbook = PlaceCallbook();
  const TCallbookRecord r = callbook.Record(lookup_.Record(), TCallbookMatch::BaseCall,
                                            typed_.designators, typed_.logged);
  if (r.where == TStationWhere::Home) return;  // /QRP and the like: at home
  ui->QTHText->setText(QString::fromStdString(QthNoBreak(r.name)));
  ui->CountryText->clear();
  // Without a country file (an older edition) where the station is is not known.
  ui->DXCCText->setText(callbook.Entities().Empty() ? QString()
                                                    : QString::fromStdString(StationPlaceText(r)));
  ui->LocatorText->clear();
  shownLocator_.clear();
  mapNumber_ = 0;
  ui->MapBtn->setEnabled(false);
  if (lookup_.Database() != TDatabase::US) return;
  ui->ZIPEdit->setEditText(QString());
  ui->StateText->clear();
  ui->CountyEdit->setEditText(QString());
  for (QLabel* l :
       {ui->QRALatitudeText, ui->QRALongitudeText, ui->QRATimeZoneText, ui->QRAAreaCodeText})
    l->clear();
}
