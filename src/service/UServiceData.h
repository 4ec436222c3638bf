#pragma once
// The directory behind the look-up service: the open data set, shared by every worker. The
// index engine's page cache and the data-set files' cursors are program-wide state (the last
// error code is per thread), so each look-up runs under one lock
// (a look-up takes microseconds; writing the answer happens outside it). Reopening takes the
// same lock: a request sees the old edition or the new one, never a mix.
#include <mutex>
#include <string>

#include "callbook/UCallbook.h"
#include "service/UServiceRouter.h"

class TDataSetSource : public TServiceSource {
 public:
  // Uses the data set of the home directory set with SetHomeDir; the index caches must be
  // allocated. myLocator: the user's own locator (may be empty).
  explicit TDataSetSource(std::string myLocator);
  ~TDataSetSource() override;

  // Opens (again) the data set; when it cannot, the status says why and the source answers "no
  // data" until a later reopening succeeds. A damaged entity table does not fail the opening
  // (records then have no zones): Warning() says it.
  TStatus Open();
  const std::string& Warning() const { return callbook_.Warning(); }

  TCallbookRecord FindCall(std::string_view typed) override;
  std::vector<TCallbookRecord> ListOrder(TSearchField field, std::string_view text,
                                         int count) override;
  std::vector<TCallbookRecord> SearchWords(const std::vector<std::string>& words,
                                           std::string_view db, int count) override;
  TListPage ListOrderPage(TSearchField field, std::string_view text, int offset,
                          int count) override;
  TListPage SearchWordsPage(const std::vector<std::string>& words, std::string_view db, int offset,
                            int count) override;
  TServiceHealth Health() override;
  // A U.S. entry's surname: the run of its name's words whose key is the entry's key in the
  // name order (read from the index and the entry's position in that order).
  std::string Surname(const TCallbookRecord& r) override;
  std::string MyLocator() override { return myLocator_; }

 private:
  void Close();
  void CheckOpen() const;
  TCallbookRecord Record(const TEntryRecord& rec, TCallbookMatch match);

  std::mutex mutex_;
  bool open_ = false;
  TCallbook callbook_;
  std::string myLocator_;
};
