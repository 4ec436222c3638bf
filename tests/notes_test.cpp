// The notes file: layout, free-record reuse, reopening, refusal of foreign and locked files, and
// damaged files that must neither crash nor lose notes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "TestDir.h"
#include "dataset/UEntry.h"
#include "notes/UNotesIO.h"
#include "storage/UIndexStream.h"

namespace {

constexpr size_t kRec = 256;

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

int32_t LE32(const std::string& s, size_t pos) {
  const auto* p = reinterpret_cast<const uint8_t*>(s.data() + pos);
  return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                              uint32_t(p[3]) << 24);
}

void PutLE32(std::string& s, size_t pos, int32_t v) {
  for (int i = 0; i < 4; ++i) s[pos + size_t(i)] = char(uint32_t(v) >> (8 * i));
}

std::string Header(int32_t freeHead = 0, int32_t version = 1, uint8_t openFlag = 0) {
  std::string h(kRec, '\0');
  h[1] = char(openFlag);
  PutLE32(h, 2, freeHead);
  PutLE32(h, 6, version);
  h[10] = 14;
  std::memcpy(&h[11], "TMK Notes File", 14);
  return h;
}

std::string Record(uint8_t status, const std::string& call, const std::string& text) {
  std::string r(kRec, '\0');
  r[0] = char(status);
  r[1] = char(call.size());
  std::memcpy(&r[2], call.data(), std::min<size_t>(call.size(), 6));
  r[8] = char(text.size());
  std::memcpy(&r[9], text.data(), std::min<size_t>(text.size(), 247));
  return r;
}

std::string RecordOf(const std::string& file, int32_t n) {
  return file.substr(size_t(n) * kRec, kRec);
}

std::string NoteText(TNotes& notes, const std::string& call) {
  TNoteRec rec;
  EXPECT_TRUE(notes.ReadNote(call, rec)) << call;
  return rec.Text;
}

void Save(TNotes& notes, const std::string& call, const std::string& text) {
  TNoteRec rec;
  rec.Call = call;
  rec.Text = text;
  notes.SaveNote(rec);
}

TEST(NotesFile, NewFileHoldsOnlyTheHeader) {
  TestDir dir;
  const std::string path = dir.file("new.ndf");
  {
    TNotes notes(path);
    const std::string f = ReadFile(path);
    ASSERT_EQ(f.size(), kRec);
    EXPECT_EQ(f, Header(0, 1, 1));
    EXPECT_EQ(notes.RecordCount(), 1);
    EXPECT_FALSE(notes.HasNote("w1aw"));
  }
  EXPECT_EQ(ReadFile(path), Header(0, 1, 0));
}

TEST(NotesFile, SaveAppendsOverwritesAndReads) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  TNotes notes(path);
  Save(notes, "w1aw", "first\r\nsecond");
  Save(notes, "dl1abc", "x");
  std::string f = ReadFile(path);
  ASSERT_EQ(f.size(), 3 * kRec);
  EXPECT_EQ(RecordOf(f, 1), Record(2, "w1aw", "first\r\nsecond"));
  EXPECT_EQ(RecordOf(f, 2), Record(2, "dl1abc", "x"));

  // Upper case and blanks reach the same note.
  EXPECT_TRUE(notes.HasNote(" W1AW"));
  TNoteRec rec;
  ASSERT_TRUE(notes.ReadNote("W1aw", rec));
  EXPECT_EQ(rec.Status, 2);
  EXPECT_EQ(rec.Call, "w1aw");
  EXPECT_EQ(rec.Text, "first\r\nsecond");

  // Saving an existing call replaces its note in its record; saving normalises the call.
  Save(notes, "W1AW", "replaced");
  f = ReadFile(path);
  ASSERT_EQ(f.size(), 3 * kRec);
  EXPECT_EQ(RecordOf(f, 1), Record(2, "w1aw", "replaced"));

  // No note: false and an empty record.
  rec.Text = "stale";
  EXPECT_FALSE(notes.ReadNote("k2xyz", rec));
  EXPECT_TRUE(rec.Text.empty());
  EXPECT_EQ(notes.NoteCount(), 2);
}

TEST(NotesFile, TextIsCutTo247Characters) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  TNotes notes(path);
  const std::string text(300, 'q');
  Save(notes, "g3abc", text);
  EXPECT_EQ(NoteText(notes, "g3abc"), text.substr(0, 247));
  const std::string f = ReadFile(path);
  EXPECT_EQ(uint8_t(f[kRec + 8]), 247);
  EXPECT_EQ(f.size(), 2 * kRec);
}

TEST(NotesFile, DeletedRecordsAreReusedLastFreedFirst) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  TNotes notes(path);
  Save(notes, "aa1", "note a");
  Save(notes, "bb2", "note b");
  Save(notes, "cc3", "note c");

  notes.DeleteNote("bb2");
  EXPECT_FALSE(notes.HasNote("bb2"));
  std::string f = ReadFile(path);
  EXPECT_EQ(LE32(f, 2), 2) << "free head";
  // A freed record: status 1, next free 0, nothing of the note left.
  EXPECT_EQ(RecordOf(f, 2), std::string(1, '\1') + std::string(kRec - 1, '\0'));

  Save(notes, "dd4", "note d");
  f = ReadFile(path);
  EXPECT_EQ(f.size(), 4 * kRec) << "the freed record is reused";
  EXPECT_EQ(RecordOf(f, 2), Record(2, "dd4", "note d"));
  EXPECT_EQ(LE32(f, 2), 0);

  notes.DeleteNote("aa1");
  notes.DeleteNote("cc3");
  f = ReadFile(path);
  EXPECT_EQ(LE32(f, 2), 3);
  EXPECT_EQ(LE32(f, 3 * kRec + 1), 1);
  EXPECT_EQ(LE32(f, 1 * kRec + 1), 0);
  Save(notes, "ee5", "e");
  Save(notes, "ff6", "f");
  Save(notes, "gg7", "g");
  f = ReadFile(path);
  EXPECT_EQ(RecordOf(f, 3), Record(2, "ee5", "e"));
  EXPECT_EQ(RecordOf(f, 1), Record(2, "ff6", "f"));
  EXPECT_EQ(RecordOf(f, 4), Record(2, "gg7", "g"));
  EXPECT_EQ(f.size(), 5 * kRec);

  // Deleting a call without a note changes nothing.
  notes.DeleteNote("zz9");
  EXPECT_EQ(ReadFile(path), f);
}

TEST(NotesFile, ReopeningKeepsEveryNote) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  std::mt19937 rng(5);
  std::map<std::string, std::string> expected;
  {
    TNotes notes(path);
    for (int i = 0; i < 400; ++i) {
      std::string call = "k" + std::to_string(rng() % 100000);
      std::string text(size_t(rng() % 260), ' ');
      for (char& c : text) c = char(32 + rng() % 200);
      Save(notes, call, text);
      expected[call] = text.substr(0, 247);
      if (i % 3 == 0) {
        const auto victim = std::next(expected.begin(), long(rng() % expected.size()));
        notes.DeleteNote(victim->first);
        expected.erase(victim);
      }
    }
    EXPECT_EQ(notes.NoteCount(), int32_t(expected.size()));
  }
  const std::string closed = ReadFile(path);
  const int32_t freeHead = LE32(closed, 2);
  ASSERT_NE(freeHead, 0);
  {
    TNotes notes(path);
    EXPECT_EQ(notes.NoteCount(), int32_t(expected.size()));
    for (const auto& [call, text] : expected) EXPECT_EQ(NoteText(notes, call), text) << call;
    // The free list goes on where it was.
    Save(notes, "new1", "after reopening");
    EXPECT_EQ(ReadFile(path).size(), closed.size());
    EXPECT_EQ(RecordOf(ReadFile(path), freeHead), Record(2, "new1", "after reopening"));
  }
  TNotes again(path);
  EXPECT_EQ(NoteText(again, "new1"), "after reopening");
}

TEST(NotesFile, ForeignFilesAreRefusedUntouched) {
  TestDir dir;
  struct TCase {
    const char* name;
    std::string bytes;
    const char* message;
  };
  std::string otherVersion = Header(0, 2) + Record(2, "w1aw", "x");
  std::string lowerId = Header();
  lowerId[11] = 't';
  const TCase cases[] = {
      {"text",
       "This is a text file that happens to be long enough to hold an id.\n" +
           std::string(300, 'x'),
       "Notes file has wrong file id"},
      {"short", "TMK", "Notes file has wrong file id"},
      {"lower", lowerId, "Notes file has wrong file id"},
      {"version", otherVersion, "Notes file has wrong file version"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".ndf");
    WriteFile(path, c.bytes);
    try {
      TNotes notes(path);
      ADD_FAILURE() << c.name << " opened";
    } catch (const ENotesIOError& e) {
      ADD_FAILURE() << c.name << ": " << e.what();
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message) << c.name;
    }
    EXPECT_EQ(ReadFile(path), c.bytes) << c.name;
  }
}

TEST(NotesFile, InvalidCallSigns) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  TNotes notes(path);
  Save(notes, "w1aw", "x");
  EXPECT_FALSE(notes.HasNote(""));
  EXPECT_FALSE(notes.HasNote("      "));
  EXPECT_FALSE(notes.HasNote("w1-aw"));
  TNoteRec rec;
  try {
    notes.ReadNote("", rec);
    ADD_FAILURE() << "no exception";
  } catch (const ECallError& e) {
    EXPECT_STREQ(e.what(), "Call must contain at least 1 and up to 6 characters.");
  }
  try {
    notes.ReadNote("w1 aw", rec);
    ADD_FAILURE() << "no exception";
  } catch (const ECallError& e) {
    EXPECT_STREQ(e.what(), "In a Call, only letters and numbers are allowed.");
  }
  // Saving or deleting under an invalid call is refused and writes nothing.
  const std::string before = ReadFile(path);
  rec.Call = "";
  rec.Text = "lost?";
  EXPECT_THROW(notes.SaveNote(rec), ECallError);
  rec.Call = "a/b";
  EXPECT_THROW(notes.SaveNote(rec), ECallError);
  EXPECT_THROW(notes.DeleteNote("-"), ECallError);
  EXPECT_EQ(ReadFile(path), before);
  // Only the first six characters count, blanks trimmed after the cut.
  EXPECT_TRUE(notes.HasNote("w1aw  x"));
  EXPECT_FALSE(notes.HasNote("w1awxyz"));
}

TEST(NotesFile, SecondOpenerIsRefusedWhileTheFileIsOpen) {
  TestDir dir;
  const std::string path = dir.file("n.ndf");
  {
    TNotes first(path);
    Save(first, "w1aw", "mine");
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        TNotes second(path);
        ADD_FAILURE() << "second opening succeeded";
      } catch (const ENotesIOError& e) {
        EXPECT_EQ(e.Code(), 5);
        EXPECT_NE(std::string(e.what()).find("in use by another program"), std::string::npos)
            << e.what();
      }
    }

    // Another program: a child process tries the same.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int rc = 1;
      try {
        TNotes other(path);
      } catch (const ENotesIOError& e) {
        rc = e.Code() == 5 ? 0 : 2;
      } catch (...) {
        rc = 3;
      }
      ::_exit(rc);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 = opened, 2 = other code, 3 = other error";

    // The failed attempts neither released the lock nor disturbed the first opener.
    EXPECT_EQ(NoteText(first, "w1aw"), "mine");
    EXPECT_EQ(ReadFile(path)[1], '\1');
  }
  TNotes later(path);
  EXPECT_EQ(NoteText(later, "w1aw"), "mine");
}

TEST(NotesFile, OpeningErrors) {
  TestDir dir;
  try {
    TNotes notes(dir.file("missing/n.ndf"));
    ADD_FAILURE() << "opened";
  } catch (const ENotesIOError& e) {
    EXPECT_EQ(e.Code(), 3);
    EXPECT_STREQ(e.what(), "Path not found (I/O error 3)");
  }
  EXPECT_THROW(TNotes notes(dir.path()), ENotesIOError);

  // An empty file holds no notes: it becomes a notes file.
  const std::string empty = dir.file("empty.ndf");
  WriteFile(empty, "");
  {
    TNotes notes(empty);
    Save(notes, "w1aw", "x");
  }
  EXPECT_EQ(ReadFile(empty).substr(0, kRec), Header(0, 1, 0));
  EXPECT_EQ(ReadFile(empty).size(), 2 * kRec);
}

TEST(NotesFile, DuplicateCallsRefuseTheOpeningAndChangeNothing) {
  TestDir dir;
  const std::string path = dir.file("dup.ndf");
  const std::string bytes =
      Header() + Record(2, "w1aw", "one") + Record(2, "k1abc", "") + Record(2, "W1AW", "two");
  WriteFile(path, bytes);
  try {
    TNotes notes(path);
    ADD_FAILURE() << "opened";
  } catch (const EIndexStreamError& e) {
    EXPECT_EQ(e.Code(), 1100);
  }
  EXPECT_EQ(ReadFile(path), bytes) << "open flag reset, nothing else written";
  // The lock went with the failed opening.
  WriteFile(path, Header() + Record(2, "w1aw", "one"));
  EXPECT_NO_THROW(TNotes notes(path));
}

TEST(NotesFile, DamagedFilesNeitherCrashNorLoseNotes) {
  TestDir dir;

  // A free-list head naming a record in use: the note is not overwritten, the record appended.
  {
    const std::string path = dir.file("head-in-use.ndf");
    WriteFile(path, Header(1) + Record(2, "w1aw", "keep me"));
    TNotes notes(path);
    Save(notes, "k2new", "new");
    EXPECT_EQ(NoteText(notes, "w1aw"), "keep me");
    EXPECT_EQ(NoteText(notes, "k2new"), "new");
    const std::string f = ReadFile(path);
    EXPECT_EQ(f.size(), 3 * kRec);
    EXPECT_EQ(LE32(f, 2), 0);
  }
  // A free-list head past the end or negative: appended.
  for (const int32_t head : {99, -4}) {
    const std::string path = dir.file("head-" + std::to_string(head) + ".ndf");
    WriteFile(path, Header(head) + Record(2, "w1aw", "a"));
    TNotes notes(path);
    Save(notes, "k2new", "b");
    EXPECT_EQ(ReadFile(path).size(), 3 * kRec);
    EXPECT_EQ(NoteText(notes, "w1aw"), "a");
  }
  // Length bytes larger than their fields are cut to the field.
  {
    const std::string path = dir.file("lengths.ndf");
    std::string rec = Record(2, "w1aw", std::string(247, 't'));
    rec[1] = char(200);
    rec[8] = char(255);
    std::memcpy(&rec[2], "k3xyz9", 6);
    WriteFile(path, Header() + rec);
    TNotes notes(path);
    TNoteRec got;
    ASSERT_TRUE(notes.ReadNote("k3xyz9", got));
    EXPECT_EQ(got.Call, "k3xyz9");
    EXPECT_EQ(got.Text, std::string(247, 't'));
  }
  // A torn last record is ignored and the next append overwrites it.
  {
    const std::string path = dir.file("torn.ndf");
    WriteFile(path, Header() + Record(2, "w1aw", "a") + Record(2, "k9tor", "b").substr(0, 100));
    TNotes notes(path);
    EXPECT_FALSE(notes.HasNote("k9tor"));
    Save(notes, "k8new", "c");
    const std::string f = ReadFile(path);
    EXPECT_EQ(f.size(), 3 * kRec);
    EXPECT_EQ(RecordOf(f, 2), Record(2, "k8new", "c"));
  }
  // A record freed behind the program's back.
  {
    const std::string path = dir.file("changed.ndf");
    TNotes notes(path);
    Save(notes, "w1aw", "a");
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(kRec));
    f.put('\1');
    f.close();
    TNoteRec rec;
    try {
      notes.ReadNote("w1aw", rec);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "File korrupt: Entry is not in use");
    }
    EXPECT_THROW(notes.DeleteNote("w1aw"), std::runtime_error);
    EXPECT_EQ(LE32(ReadFile(path), 2), 0) << "not put on the free list";
  }
}

// The free-list head at the edge of the file: the last record (free) is taken; one past it (the
// record count) or further on is no list, so the opening relinks the free record 2 and the new
// note takes it, without reading past the end.
TEST(NotesFile, FreeListHeadAtTheEndOfTheFile) {
  struct TRow {
    int32_t head;
    int32_t recordOfNewNote;
    size_t records;  // afterwards, the header included
  };
  // Header, a note in record 1, a free record 2: three records.
  const TRow rows[] = {{2, 2, 3}, {3, 2, 3}, {4, 2, 3}};
  TestDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE("head " + std::to_string(row.head));
    const std::string path = dir.file("edge-" + std::to_string(row.head) + ".ndf");
    WriteFile(path, Header(row.head) + Record(2, "w1aw", "a") + Record(1, "", ""));
    {
      TNotes notes(path);
      ASSERT_NO_THROW(Save(notes, "k2new", "b"));
      EXPECT_EQ(NoteText(notes, "w1aw"), "a");
      EXPECT_EQ(NoteText(notes, "k2new"), "b");
    }
    const std::string f = ReadFile(path);
    ASSERT_EQ(f.size(), row.records * kRec);
    EXPECT_EQ(LE32(f, 2), 0) << "free list head";
    EXPECT_EQ(RecordOf(f, row.recordOfNewNote), Record(2, "k2new", "b"));
    if (row.recordOfNewNote != 2) {
      EXPECT_EQ(RecordOf(f, 2), Record(1, "", ""));
    }
  }
}

// A program ended between freeing a record and linking it leaves it off the list; damage may
// leave a list that loops. The opening relinks every free record once, in file order.
TEST(NotesFile, OpeningRelinksTheFreeRecords) {
  TestDir dir;
  struct TRow {
    const char* name;
    int32_t head;
    int32_t link2, link3;  // next-free fields of records 2 and 3 (both free)
  };
  const TRow rows[] = {{"off the list", 0, 0, 0},
                       {"half listed", 3, 0, 0},
                       {"loop", 2, 3, 2},
                       {"into a note", 2, 1, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir.file(std::string(row.name) + ".ndf");
    std::string free2 = Record(1, "", ""), free3 = Record(1, "", "");
    std::memcpy(&free2[1], &row.link2, 4);
    std::memcpy(&free3[1], &row.link3, 4);
    WriteFile(path, Header(row.head) + Record(2, "w1aw", "a") + free2 + free3);
    {
      TNotes notes(path);
      const std::string f = ReadFile(path);
      EXPECT_EQ(LE32(f, 2), 2) << "head";
      EXPECT_EQ(LE32(f, 2 * kRec + 1), 3);
      EXPECT_EQ(LE32(f, 3 * kRec + 1), 0);
      Save(notes, "k2new", "b");
      Save(notes, "k3new", "c");
      Save(notes, "k4new", "d");
      EXPECT_EQ(NoteText(notes, "w1aw"), "a");
    }
    const std::string f = ReadFile(path);
    EXPECT_EQ(f.size(), 5 * kRec) << "both free records reused, then one appended";
    EXPECT_EQ(RecordOf(f, 2), Record(2, "k2new", "b"));
    EXPECT_EQ(RecordOf(f, 3), Record(2, "k3new", "c"));
    // A sound list is left as it is: nothing written but the open flag.
    const std::string before = ReadFile(path);
    { TNotes again(path); }
    EXPECT_EQ(ReadFile(path), before);
  }
}

}  // namespace
