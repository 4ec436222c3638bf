#pragma once
// The directory behind the look-up service, shared by every worker. Index cursors and page
// caches are per data set, so each request borrows a data set of its own (TThreadDataSet, kept
// for the next request) and look-ups run side by side without a lock. An opening is one
// immutable object: reopening puts a new one in place, requests under way finish with the one
// they began with, and a request sees the old edition or the new one, never a mix.
#include <memory>
#include <mutex>
#include <string>

#include "callbook/UCallbook.h"
#include "service/UServiceRouter.h"

class TDataSetSource : public TServiceSource {
 public:
  // Opens the data set of the home directory set with SetHomeDir (when Open is called), data
  // sets of its own, apart from the program's. myLocator: the user's own locator (may be empty).
  explicit TDataSetSource(std::string myLocator);
  ~TDataSetSource() override;

  // Opens (again) the data set; when it cannot, the status says why and the source answers "no
  // data" until a later reopening succeeds. A damaged entity table does not fail the opening
  // (records then have no zones): Warning() says it.
  TStatus Open();
  std::string Warning() const;

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
  struct TOpening;
  class TBorrowed;

  mutable std::mutex mutex_;           // guards opening_ and the openings' idle data sets
  std::mutex reopenMutex_;             // one opening at a time
  std::shared_ptr<TOpening> opening_;  // null while no data set is open
  std::string myLocator_;
};
