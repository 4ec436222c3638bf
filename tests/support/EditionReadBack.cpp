#include "EditionReadBack.h"

#include "builder/UDocumentWriter.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"

TEditionCounts CountEdition(const std::string& dir) {
  if (DataSetIsOpen())
    throw EStatusError(TStatus::InvalidArgument("counting an edition needs the data set closed"));
  TEditionCounts c;
  SetHomeDir(dir);
  struct TClose {
    ~TClose() { CloseDataSet(); }
  } close;
  try {
    OpenDataSet();
  } catch (const std::exception& e) {
    throw EStatusError(TStatus::Corrupt(std::string("cannot read the edition back: ") + e.what()));
  }
  c.title = CurrentEdition().title;
  for (const int order : {oiIntlCall, oiUSCall}) {
    const TDatabase db = order == oiIntlCall ? TDatabase::Intl : TDatabase::US;
    const int32_t n = OrderEntryCount(order);
    TEntryRecord rec;
    for (int32_t pos = 0; pos < n; ++pos) {
      int32_t ref = -1;
      if (!ReadOrderEntry(order, pos, ref) || !ReadRecord(db, ref, rec))
        throw EStatusError(TStatus::Corrupt("cannot read entry " + std::to_string(pos) +
                                            " of order " + std::to_string(order) + ": " +
                                            ErrorCodeText(LastErrorCode())));
      c.Add(rec);
    }
  }
  return c;
}

TCoverage CountEditionCoverage(const std::string& dir) {
  if (DataSetIsOpen()) throw EDataSetError("a data set is open already");
  if (!AllocIndexCaches()) throw EDataSetError(ErrorCodeText(LastErrorCode()));
  const std::string before = HomeDir();
  struct TRestore {
    std::string dir;
    ~TRestore() {
      CloseDataSet();
      FreeIndexCaches();
      SetHomeDir(dir);
    }
  } restore{before};
  SetHomeDir(dir);
  OpenDataSet();
  TCoverage c;
  const char* failed = "";
  if (!CountDataSetCoverage(c, failed))
    throw EDataSetError(std::string("cannot count ") + failed + ": " +
                        ErrorCodeText(LastErrorCode()));
  return c;
}
