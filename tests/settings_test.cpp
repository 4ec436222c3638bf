#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "settings/USettings.h"

namespace {
TProgramSettings LoadFrom(const std::string& path, bool& notice) {
  TSettingsFile f(path);
  f.Load();
  return LoadProgramSettings(f, notice);
}

std::string Slurp(const std::string& path) {
  std::string s;
  ReadWholeFile(path, s);
  return s;
}
}  // namespace

TEST(Settings, NoFileGivesDefaultsAndTheNoticeOnce) {
  TestDir dir;
  const std::string path = dir.file("cfg/tellmark.ini");
  bool notice = false;
  TProgramSettings s = LoadFrom(path, notice);
  EXPECT_TRUE(notice);
  EXPECT_EQ(s.lastCall, "AA1A");
  EXPECT_EQ(s.clipboardFormat, 0);
  EXPECT_EQ(s.printOptions.numLines, 6);
  EXPECT_EQ(s.printOptions.numChar, 35);
  EXPECT_EQ(s.printOptions.leftMargin, 0);
  EXPECT_EQ(s.printOptions.outfileName, "prn");
  EXPECT_FALSE(s.printOptions.useItForCSV);
  EXPECT_EQ(s.printOptions.separatorChar, ';');
  EXPECT_EQ(s.reportOptions.mode, 1);
  EXPECT_EQ(s.reportOptions.fileName, DefaultReportFileName());
  EXPECT_EQ(s.morseOptions.pitch, 800);
  EXPECT_EQ(s.morseOptions.speed, 1);
  EXPECT_EQ(s.morseOptions.volume, 100);
  EXPECT_EQ(s.addressStyle.addCountry, 1);
  EXPECT_TRUE(s.addressStyle.addCall);
  EXPECT_FALSE(s.printMethod);
  EXPECT_TRUE(s.printProcessInfo);

  TSettingsFile out(path);
  out.Load();
  SaveProgramSettings(out, s, "DL1ABC", true, "/media/cdrom/");
  const std::string text = Slurp(path);
  // Every key, in the documented order.
  const char* keys[] = {"[StartUp]",
                        "LastCall=DL1ABC",
                        "PrgVersion=S1998",
                        "MapFitAlways=1",
                        "LastHomeDir=/media/cdrom/",
                        "[Clipboard]",
                        "ClipboardFormat=0",
                        "[Labels]",
                        "NumLines=6",
                        "NumChar=35",
                        "LeftMargin=0",
                        "OutfileName=prn",
                        "UseItForCSV=0",
                        "SeparatorChar=;",
                        "[Style]",
                        "AddCountry=1",
                        "AddCall=1",
                        "[Report]",
                        "ReportOptions=1",
                        "ReportFilename=",
                        "[Printing]",
                        "PrintProcessInfo=1",
                        "PrintMethod=0",
                        "[General]",
                        "MyLocator=",
                        "NotesDataFilename=",
                        "[CW]",
                        "Speed=1",
                        "Volume=100",
                        "Pitch=800"};
  size_t at = 0;
  for (const char* k : keys) {
    const size_t found = text.find(k, at);
    ASSERT_NE(found, std::string::npos) << k << "\n" << text;
    at = found;
  }
  s = LoadFrom(path, notice);
  EXPECT_FALSE(notice);
  EXPECT_EQ(s.lastCall, "DL1ABC");
  EXPECT_TRUE(s.mapFitAlways);
  TSettingsFile again(path);
  again.Load();
  EXPECT_EQ(ReadLastHomeDir(again), "/media/cdrom/");
}

TEST(Settings, ProfileRulesForValues) {
  TestDir dir;
  const std::string path = dir.file("tellmark.ini");
  std::ofstream(path) << "[StartUp]\nPrgVersion=w1998\nLastCall=ABCDEFGHIJKLMNOPQRST\n"
                         "[Labels]\nNumLines=0x0A\nNumChar=abc\nLeftMargin=0X\nSeparatorChar=\n"
                         "UseItForCSV=7\n[CW]\nPitch=0x10320\nSpeed=300\nVolume= 55 \n"
                         "[Printing]\nPrintMethod=-1\n[General]\nMyLocator=jo62qm77\n";
  bool notice = true;
  TProgramSettings s = LoadFrom(path, notice);
  EXPECT_FALSE(notice);  // only the exact "W1998" shows it
  EXPECT_EQ(s.lastCall, "ABCDEFGHIJKLMNO");
  EXPECT_EQ(s.printOptions.numLines, 10);
  EXPECT_EQ(s.printOptions.numChar, 35);
  EXPECT_EQ(s.printOptions.leftMargin, 0);  // "0X" alone is no number
  EXPECT_EQ(s.printOptions.separatorChar, ';');
  EXPECT_TRUE(s.printOptions.useItForCSV);
  EXPECT_EQ(s.morseOptions.pitch, 0x0320);  // low 16 bits
  EXPECT_EQ(s.morseOptions.speed, 300 & 0xFF);
  EXPECT_EQ(s.morseOptions.volume, 55);
  EXPECT_TRUE(s.printMethod);
  EXPECT_EQ(s.myLocator, "jo62qm");  // used unchanged, at most 6 characters

  std::ofstream(path) << "[Labels]\nSeparatorChar=,;\n[StartUp]\nPrgVersion=W1998\n";
  s = LoadFrom(path, notice);
  EXPECT_TRUE(notice);
  EXPECT_EQ(s.printOptions.separatorChar, ',');

  int32_t v = 0;
  EXPECT_TRUE(ParseProfileInteger("0xff", v));
  EXPECT_EQ(v, 255);
  EXPECT_TRUE(ParseProfileInteger("-12", v));
  EXPECT_EQ(v, -12);
  EXPECT_FALSE(ParseProfileInteger("0x", v));
  EXPECT_FALSE(ParseProfileInteger("12a", v));
  EXPECT_FALSE(ParseProfileInteger("", v));
}

TEST(Settings, KeepsForeignKeysAndFailsCleanly) {
  TestDir dir;
  const std::string path = dir.file("tellmark.ini");
  std::ofstream(path) << "[Mine]\nKeep=yes\n[StartUp]\nLastCall=W1AW\n";
  TSettingsFile f(path);
  ASSERT_TRUE(f.Load());
  bool notice = false;
  SaveProgramSettings(f, LoadProgramSettings(f, notice), "K1ABC", false, "/data/");
  const std::string text = Slurp(path);
  EXPECT_NE(text.find("Keep=yes"), std::string::npos);
  EXPECT_NE(text.find("LastCall=K1ABC"), std::string::npos);

  std::filesystem::create_directories(dir.file("ro"));
  TSettingsFile bad(dir.file("ro/tellmark.ini"));
  std::filesystem::permissions(
      dir.file("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (::geteuid() != 0) {  // root writes anyway
    try {
      SaveProgramSettings(bad, TProgramSettings{}, "W1AW", false, "/");
      FAIL();
    } catch (const ESettingsWriteError& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.file("ro/tellmark.ini"));
    }
  }
  std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_all);
  TSettingsFile nowhere(dir.file("file-not-dir/x.ini"));
  std::ofstream(dir.file("file-not-dir")) << "x";
  EXPECT_THROW(SaveProgramSettings(nowhere, TProgramSettings{}, "W1AW", false, "/"),
               ESettingsWriteError);
  EXPECT_EQ(Slurp(dir.file("file-not-dir")), "x");
}

TEST(Settings, LocationFollowsTheEnvironment) {
  setenv("TELLMARK_INI", "/tmp/x/t.ini", 1);
  EXPECT_EQ(SettingsFilePath(), "/tmp/x/t.ini");
  unsetenv("TELLMARK_INI");
  setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  EXPECT_EQ(SettingsFilePath(), "/tmp/cfg/tellmark/tellmark.ini");
  unsetenv("XDG_CONFIG_HOME");
}
