// The user's files survive a kill: a writer program (robust_writer) is killed with SIGKILL at a
// random moment while it saves notes, adds report lines or writes the settings, 200 times in a
// row on the same file. After each kill the file opens, holds every change the writer reported
// done, and at most the one change in flight besides; the notes file's free list never leads
// into a note, and after an opening it leads through every free record once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "RobustOps.h"
#include "TestDir.h"
#include "common/IOUtil.h"
#include "common/ULittleEndian.h"
#include "notes/UNotesIO.h"
#include "settings/USettings.h"

namespace {

constexpr int kRounds = 200;

// Starts the writer at change `first`, waits until it has reported `wantDone` changes (or ended),
// waits `delayUs` more and kills it. Returns the last change it reported done (first - 1: none).
int RunAndKill(const std::string& mode, const std::string& file, int first, int wantDone,
               int delayUs) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    const std::string firstText = std::to_string(first);
    ::execl(TELLMARK_ROBUST_WRITER_BIN, "robust_writer", mode.c_str(), file.c_str(),
            firstText.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string out;
  const auto readSome = [&](int timeoutMs) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n <= 0) return false;
    out.append(buf, static_cast<size_t>(n));
    return true;
  };
  const auto reported = [&] { return static_cast<int>(std::count(out.begin(), out.end(), '\n')); };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (reported() < wantDone && std::chrono::steady_clock::now() < deadline)
    if (!readSome(100) && ::waitpid(pid, nullptr, WNOHANG) == pid) break;
  std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
      << mode << ": the writer ended by itself, status " << status;
  while (readSome(1000)) {
  }
  ::close(fds[0]);
  int last = first - 1;
  std::istringstream lines(out);
  for (int n = 0; lines >> n;) {
    EXPECT_EQ(n, last + 1) << "changes reported out of order";
    last = n;
  }
  return last;
}

// The free list as the file holds it: it must not loop or lead into anything but a free record.
// Returns the records on it and the records marked free.
void CheckFreeList(const std::string& path, size_t& onList, size_t& freeRecords) {
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(path, bytes));
  const size_t records = bytes.size() / TNotes::kRecordSize;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  freeRecords = 0;
  for (size_t r = 1; r < records; ++r) {
    const uint8_t status = p[r * TNotes::kRecordSize];
    ASSERT_TRUE(status == TNotes::kStatusFree || status == TNotes::kStatusInUse)
        << "record " << r << " has status " << int(status);
    if (status == TNotes::kStatusFree) ++freeRecords;
  }
  std::set<int32_t> seen;
  for (int32_t n = GetI32(p + 2); n != 0; n = GetI32(p + size_t(n) * TNotes::kRecordSize + 1)) {
    ASSERT_TRUE(n > 0 && static_cast<size_t>(n) < records) << "free list leads out of the file";
    ASSERT_EQ(p[size_t(n) * TNotes::kRecordSize], TNotes::kStatusFree)
        << "free list leads into note record " << n;
    ASSERT_TRUE(seen.insert(n).second) << "free list loops at " << n;
  }
  onList = seen.size();
}

std::string Slurp(const std::string& path) {
  std::string s;
  ReadWholeFile(path, s);
  return s;
}

}  // namespace

TEST(KillLoop, NotesFileLosesAtMostTheSaveInFlight) {
  TestDir dir;
  const std::string path = dir.file("notes.dat");
  std::mt19937 rng(19);
  robust::TNotesModel model;  // after changes 1..done
  int done = 0, reopenRepairs = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int last = RunAndKill("notes", path, done + 1, static_cast<int>(rng() % 8),
                                static_cast<int>(rng() % 4000));
    ASSERT_GE(last, done);
    for (int n = done + 1; n <= last; ++n) robust::ApplyNoteChange(model, n);
    robust::TNotesModel withNext = model;
    robust::ApplyNoteChange(withNext, last + 1);

    size_t onList = 0, freeRecords = 0;
    ASSERT_NO_FATAL_FAILURE(CheckFreeList(path, onList, freeRecords)) << "round " << round;
    if (onList != freeRecords) ++reopenRepairs;

    robust::TNotesModel found;
    {
      std::unique_ptr<TNotes> notes;
      ASSERT_NO_THROW(notes = std::make_unique<TNotes>(path)) << "round " << round;
      for (const char* call : robust::kCalls) {
        TNoteRec rec;
        if (notes->ReadNote(call, rec)) found[call] = rec.Text;
      }
      EXPECT_EQ(notes->NoteCount(), static_cast<int32_t>(found.size()));
    }
    ASSERT_TRUE(found == model || found == withNext)
        << "round " << round << ": notes after change " << last << " hold something else";
    done = found == model ? last : last + 1;
    model = found;
    ASSERT_NO_FATAL_FAILURE(CheckFreeList(path, onList, freeRecords));
    EXPECT_EQ(onList, freeRecords) << "round " << round << ": a free record is off the list";
  }
  EXPECT_GT(done, kRounds) << "the writer hardly got anything done";
  std::printf("notes: %d changes in %d rounds; %d openings relinked the free list\n", done, kRounds,
              reopenRepairs);
}

TEST(KillLoop, ReportFileLosesAtMostTheLineInFlight) {
  TestDir dir;
  const std::string path = dir.file("report.txt");
  std::mt19937 rng(1919);
  std::string expected;  // lines of changes 1..done
  int done = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int last = RunAndKill("report", path, done + 1, static_cast<int>(rng() % 20),
                                static_cast<int>(rng() % 2000));
    // What the writer reported done, after the line break it writes first when the file ended
    // inside a line; then the line in flight, which may be there whole, in part (a write cut by
    // the kill at a page boundary) or not at all.
    std::string reported = expected;
    if (last > done && !expected.empty() && expected.back() != '\n') reported += "\r\n";
    for (int n = done + 1; n <= last; ++n) reported += robust::ReportCallOf(n) + "\r\n";
    std::string full = reported;
    if (!full.empty() && full.back() != '\n') full += "\r\n";
    full += robust::ReportCallOf(last + 1) + "\r\n";
    const std::string got = Slurp(path);
    ASSERT_TRUE(got.size() >= reported.size() && full.compare(0, got.size(), got) == 0)
        << "round " << round << ": report file differs after change " << last;
    done = got == full ? last + 1 : last;
    expected = got;
  }
  EXPECT_GT(done, kRounds);
}

TEST(KillLoop, SettingsFileIsOldOrNewNeverMixed) {
  TestDir dir;
  const std::string path = dir.file("tellmark.ini");
  std::mt19937 rng(191919);
  int done = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int last = RunAndKill("settings", path, done + 1, static_cast<int>(rng() % 6),
                                static_cast<int>(rng() % 3000));
    if (last == 0 && !std::filesystem::exists(path)) continue;  // killed before the first save
    TSettingsFile f(path);
    ASSERT_TRUE(f.Load()) << "round " << round << ": settings file unreadable";
    bool notice = false;
    const TProgramSettings s = LoadProgramSettings(f, notice);
    int holds = -1;
    for (int n : {last, last + 1})
      if (s.lastCall == robust::SettingsCallOf(n) &&
          s.reportOptions.fileName == robust::SettingsReportNameOf(n))
        holds = n;
    ASSERT_NE(holds, -1) << "round " << round << ": after change " << last << " the file holds "
                         << s.lastCall << " / " << s.reportOptions.fileName;
    done = holds;
  }
  EXPECT_GT(done, kRounds);
  size_t leftovers = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    if (e.path().filename() != "tellmark.ini") ++leftovers;
  // A killed writer's temporary is cleared away by the next save: at most the last one is left.
  EXPECT_LE(leftovers, 1u);
}
