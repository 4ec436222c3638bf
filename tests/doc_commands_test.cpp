// Every tellmark-lookup and tellmark-build command line that the documents show (the hand-written
// documents and the help in data/texts/, README.md, docs/*.md) run on the sample edition: each
// must succeed and find something. A command is a line, or a text in backquotes, that begins with
// one of the two programs (or ./build/ and the program) and an argument: an option or a call (a
// word with a digit); a "#" after a blank ends it. A program's bare name is no command.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RunCommand.h"
#include "TestDir.h"
#include "common/IOUtil.h"

namespace fs = std::filesystem;

namespace {

struct TCommand {
  std::string where;  // file:line
  std::string text;   // as the document shows it
};

// Commands the sample edition cannot run, with the reason. A command containing the key is
// not run.
const std::vector<std::pair<std::string, std::string>> kExceptions = {
    {"aa2dy", "a call of the 1999-size edition, on which the performance tables were measured"},
    {"--fcc", "needs the FCC licence dump (l_amat.zip), which the sample does not have"},
    {"--intl-csv", "needs the user's own CSV file of International stations"},
    {"--edition-1999", "writes the 1999-size edition (about 400 MB)"},
    {"--serve", "starts the callbook service, which runs until it is stopped"},
    {"--update", "downloads the FCC files; updates are tested against a local server instead"},
    {"--ised", "needs Canada's register file; its import is tested on a fixture instead"},
    {"--wsjtx", "listens for WSJT-X until it is stopped; tests/wsjtx_test.cpp sends it decodes"},
};

std::string SourceDir() { return TELLMARK_SOURCE_DIR; }

// The documents, relative to the source folder: data/texts/*, README.md, docs/*.md.
std::vector<std::string> Documents() {
  std::vector<std::string> files{"README.md"};
  for (const char* dir : {"data/texts", "docs"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(SourceDir() + "/" + dir, ec)) {
      const std::string ext = e.path().extension().string();
      if (ext == ".txt" || ext == ".help" || ext == ".md")
        files.push_back(std::string(dir) + "/" + e.path().filename().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string Trimmed(std::string s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  const size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

// A command from its start: up to a comment ("#" after a blank) or the end.
std::string CommandText(const std::string& s) {
  static const std::regex comment("\\s#.*$");
  return Trimmed(std::regex_replace(s, comment, ""));
}

// The curl examples: lines that begin with curl, and texts in backquotes that do, with a URL
// ("`curl -d`" in the prose names an option).
std::vector<TCommand> FindCurlExamples() {
  static const std::regex start("^curl\\s");
  static const std::regex quoted("`(curl\\s[^`]*)`");
  std::vector<TCommand> found;
  for (const std::string& file : Documents()) {
    std::string text;
    if (!ReadWholeFile(SourceDir() + "/" + file, text)) continue;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      const std::string where = file + ":" + std::to_string(number);
      const std::string t = Trimmed(line);
      if (std::regex_search(t, start)) {
        if (t.find("http://") != std::string::npos) found.push_back({where, CommandText(t)});
        continue;
      }
      for (auto it = std::sregex_iterator(line.begin(), line.end(), quoted);
           it != std::sregex_iterator(); ++it)
        if ((*it)[1].str().find("http://") != std::string::npos)
          found.push_back({where, CommandText((*it)[1].str())});
    }
  }
  return found;
}

std::vector<TCommand> FindCommands() {
  // The program, then an option or a call.
  static const std::string command =
      "(\\./build/)?tellmark-(lookup|build)\\s+(-|[A-Za-z0-9/]*[0-9])";
  static const std::regex start("^" + command);
  static const std::regex quoted("`(" + command + "[^`]*)`");
  std::vector<TCommand> found;
  for (const std::string& file : Documents()) {
    std::string text;
    if (!ReadWholeFile(SourceDir() + "/" + file, text)) continue;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      const std::string where = file + ":" + std::to_string(number);
      const std::string t = Trimmed(line);
      if (std::regex_search(t, start)) {
        found.push_back({where, CommandText(t)});
        continue;
      }
      for (auto it = std::sregex_iterator(line.begin(), line.end(), quoted);
           it != std::sregex_iterator(); ++it)
        found.push_back({where, CommandText((*it)[1].str())});
    }
  }
  return found;
}

// Runs a shell command in dir with HOME set to dir; standard error goes to the output.
TRun Shell(const std::string& dir, const std::string& command) {
  const std::string cmd = "cd '" + dir + "' && export HOME='" + dir + "' TELLMARK_INI='" + dir +
                          "/none.ini' && " + command + " 2>&1";
  return RunCommand(cmd);
}

// The sample edition of the build folder, or one written like it when the build has none.
std::string SampleEdition(const TestDir& scratch) {
  const std::string built = TELLMARK_SAMPLE_DIR;
  if (fs::exists(built + "/data/edition.ini")) return built;
  const std::string dir = scratch.path() + "/sample";
  const TRun r = Shell(scratch.path(), std::string("'") + TELLMARK_BUILD_BIN + "' --out '" + dir +
                                           "' --us " + TELLMARK_SAMPLE_US + " --intl " +
                                           TELLMARK_SAMPLE_INTL + " --quiet");
  EXPECT_EQ(r.status, 0) << r.out;
  return dir;
}

// The command as it runs here: the programs of this build, DIR the sample edition, --data added
// to a look-up without it.
std::string Runnable(std::string c, const std::string& sample) {
  c = std::regex_replace(c, std::regex("^(\\./build/)?tellmark-lookup"),
                         "'" + std::string(TELLMARK_LOOKUP_BIN) + "'");
  c = std::regex_replace(c, std::regex("^(\\./build/)?tellmark-build"),
                         "'" + std::string(TELLMARK_BUILD_BIN) + "'");
  c = std::regex_replace(c, std::regex("--data DIR(\\s|$)"), "--data '" + sample + "'$1");
  const std::string lookup = "'" + std::string(TELLMARK_LOOKUP_BIN) + "'";
  if (c.rfind(lookup, 0) == 0 && c.find("--data") == std::string::npos)
    c.insert(lookup.size(), " --data '" + sample + "'");
  // The sample's invented entries fill a log only when asked to.
  if (c.rfind(lookup, 0) == 0 && c.find("--adif ") != std::string::npos &&
      c.find("--allow-sample") == std::string::npos)
    c.insert(lookup.size(), " --allow-sample");
  return c;
}

}  // namespace

TEST(DocumentCommands, EveryCommandShownRunsOnTheSampleAndFindsSomething) {
  const std::vector<TCommand> commands = FindCommands();
  // The documents show both programs: the scan reads what it should.
  ASSERT_GE(commands.size(), 10u);
  TestDir scratch;
  const std::string sample = SampleEdition(scratch);
  // Calls of the sample, for commands that read calls from a file.
  {
    std::ofstream calls(scratch.file("calls.txt"));
    calls << "AA1A\nF1EKZ\n";
  }
  // Logs of calls of the sample, for the ADIF commands.
  for (const char* log : {"IN.adi", "log.adi"}) {
    std::ofstream adif(scratch.file(log));
    adif << "Field day <op@example.org>\n<ADIF_VER:5>3.1.4 <EOH>\n"
            "<CALL:4>AA1A <QSO_DATE:8>20240622 <MODE:2>CW <EOR>\n"
            "<CALL:5>F1EKZ <QSO_DATE:8>20240622 <MODE:3>SSB <EOR>\n";
  }
  int run = 0;
  for (const TCommand& c : commands) {
    std::string skipped;
    for (const auto& [key, reason] : kExceptions)
      if (c.text.find(key) != std::string::npos) skipped = reason;
    if (!skipped.empty()) {
      std::printf("not run: %s (%s): %s\n", c.text.c_str(), c.where.c_str(), skipped.c_str());
      continue;
    }
    ++run;
    const std::string command = Runnable(c.text, sample);
    const TRun r = Shell(scratch.path(), command);
    std::printf("%s: %s -> %d\n", c.where.c_str(), c.text.c_str(), r.status);
    if (r.out.find("needs a build with Qt") != std::string::npos) {
      std::printf("not run here: %s (a build without Qt)\n", c.text.c_str());
      continue;
    }
    // 0 is "everything found" for both programs; a look-up must also print it.
    EXPECT_EQ(r.status, 0) << c.where << ": " << c.text << "\n" << r.out.substr(0, 2000);
    if (command.find(TELLMARK_LOOKUP_BIN) != std::string::npos) {
      EXPECT_FALSE(Trimmed(r.out).empty()) << c.where << ": " << c.text;
    }
  }
  EXPECT_GE(run, 8);
}

// A free port of 127.0.0.1, as the kernel hands them out.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

// Every curl example runs against tellmark-lookup --serve on the sample edition (on a free port
// in place of the one shown) and gets a successful answer with something in it.
TEST(DocumentCommands, EveryCurlExampleGetsAnAnswer) {
  const std::vector<TCommand> examples = FindCurlExamples();
  ASSERT_GE(examples.size(), 4u);
  TestDir scratch;
  const std::string sample = SampleEdition(scratch);
  const int port = FreePort();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::setenv("TELLMARK_INI", (scratch.path() + "/none.ini").c_str(), 1);
    const std::string serve = "127.0.0.1:" + std::to_string(port);
    ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", sample.c_str(), "--serve",
            serve.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {  // at most 10 s
    up = Shell(scratch.path(), "curl -sf " + base + "/api/v1/health").status == 0;
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(up) << "the service did not start";
  for (const TCommand& c : examples) {
    std::string command =
        std::regex_replace(c.text, std::regex("http://127\\.0\\.0\\.1(:[0-9]+)?"), base);
    command = std::regex_replace(command, std::regex("^curl "), "curl --fail --max-time 10 ");
    const TRun r =
        Shell(scratch.path(), "bash -c " + std::string("'") +
                                  std::regex_replace(command, std::regex("'"), "'\\''") + "'");
    std::printf("%s: %s -> %d\n", c.where.c_str(), c.text.c_str(), r.status);
    if (r.out.find("needs a build with Qt") != std::string::npos) {
      std::printf("not run here: %s (a build without Qt)\n", c.text.c_str());
      continue;
    }
    EXPECT_EQ(r.status, 0) << c.where << ": " << c.text << "\n" << r.out.substr(0, 2000);
    EXPECT_FALSE(Trimmed(r.out).empty()) << c.where << ": " << c.text;
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The scan itself: commands in lines, in backquotes and after ./build/, comments cut off;
// prose that only names a program is no command.
TEST(DocumentCommands, ScanFindsTheCommandsOfTheReadme) {
  std::vector<std::string> texts;
  for (const TCommand& c : FindCommands())
    if (c.where.rfind("README.md:", 0) == 0 || c.where.rfind("docs/", 0) == 0)
      texts.push_back(c.text);
  const auto has = [&texts](const std::string& t) {
    return std::find(texts.begin(), texts.end(), t) != texts.end();
  };
  EXPECT_TRUE(has("./build/tellmark-lookup --stats"));
  EXPECT_TRUE(has("tellmark-lookup --stats"));  // quoted in the text
  EXPECT_TRUE(has("./build/tellmark-lookup AA1A F1EKZ"));
  EXPECT_FALSE(has("tellmark-lookup"));  // the name alone, in the text
  for (const std::string& t : texts) {
    EXPECT_EQ(t.find('#'), std::string::npos) << t;
    EXPECT_EQ(t.find('`'), std::string::npos) << t;
  }
}
