#pragma once
// A test edition's data set opened the way the programs open it: the index caches allocated, the
// home folder set, the data set opened; closed and the caches freed again at the end.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"

class TOpenedDataSet {
 public:
  // Throws what OpenDataSet throws (EDataSetError) when the edition in dir does not open.
  explicit TOpenedDataSet(const std::string& dir) {
    if (!AllocIndexCaches()) throw std::runtime_error("cannot allocate the index caches");
    SetHomeDir(dir);
    try {
      OpenDataSet();
    } catch (...) {
      CloseDataSet();
      FreeIndexCaches();
      throw;
    }
  }
  ~TOpenedDataSet() {
    CloseDataSet();
    FreeIndexCaches();
  }
  TOpenedDataSet(const TOpenedDataSet&) = delete;
  TOpenedDataSet& operator=(const TOpenedDataSet&) = delete;
};

// A suite of tests on one edition, written once for the suite and open while it runs. Edition
// writes its edition when made and names its folder with path() (fixture::TFixtureEdition).
template <class Edition>
class EditionSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    edition_ = std::make_unique<Edition>();
    opened_ = std::make_unique<TOpenedDataSet>(edition_->path());
  }
  static void TearDownTestSuite() {
    opened_.reset();
    edition_.reset();
  }
  static const Edition& TestEdition() { return *edition_; }

 private:
  static inline std::unique_ptr<Edition> edition_;
  static inline std::unique_ptr<TOpenedDataSet> opened_;
};
