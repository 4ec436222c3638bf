// A notes file damaged at random: opening refuses it with a message, or every operation works;
// nothing reads past a buffer or crashes. Run under ASan/UBSan in CI.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "notes/UNotesIO.h"

namespace {
std::string CallOf(int i) {
  return "k" + std::to_string(i % 10) + std::string(1, static_cast<char>('a' + i % 26)) +
         std::string(1, static_cast<char>('a' + i / 26 % 26));
}
}  // namespace

TEST(CorruptNotesFile, RandomDamageNeverCrashes) {
  TestDir dir;
  const std::string path = dir.file("notes.ndf");
  {
    TNotes notes(path);
    for (int i = 0; i < 120; ++i)
      notes.SaveNote({0, CallOf(i), "note number " + std::to_string(i)});
    for (int i = 0; i < 120; i += 9) notes.DeleteNote(CallOf(i));
  }
  std::string pristine;
  ASSERT_TRUE(ReadWholeFile(path, pristine));

  std::mt19937 rng(4711);
  int opened = 0;
  for (int round = 0; round < 200; ++round) {
    std::string bytes = pristine;
    if (rng() % 5 == 0) {
      bytes.resize(rng() % bytes.size());
    } else {
      const int flips = 1 + static_cast<int>(rng() % 30);
      for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = static_cast<char>(rng());
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    try {
      TNotes notes(path);
      ++opened;
      TNoteRec rec;
      for (int i = 0; i < 130; i += 3) {
        notes.HasNote(CallOf(i));
        notes.ReadNote(CallOf(i), rec);
      }
      notes.SaveNote({0, "w1aw", "added after the damage"});
      notes.DeleteNote(CallOf(4));
      notes.SaveNote({0, CallOf(5), std::string(300, 'x')});
      ASSERT_TRUE(notes.ReadNote("w1aw", rec));
      EXPECT_EQ(rec.Text, "added after the damage");
    } catch (const std::exception& e) {
      EXPECT_STRNE(e.what(), "");  // refused with a reason
    }
  }
  EXPECT_GT(opened, 100);  // most damage lies in note texts and still opens
}
