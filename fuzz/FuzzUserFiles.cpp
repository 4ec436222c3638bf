// Targets of the user's own files: the settings file and the notes file.
#include <algorithm>
#include <exception>
#include <type_traits>

#include "FuzzTargets.h"
#include "dataset/UEntry.h"
#include "notes/UNotesIO.h"
#include "settings/USettings.h"
#include "storage/UIndexStream.h"

namespace fuzz {

int FuzzSettings(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string path = WriteScratch("tellmark.ini", text);
  TSettingsFile file(path);
  file.Load();
  bool notice = false;
  const TProgramSettings s = LoadProgramSettings(file, notice);
  if (s.lastCall.size() > 15) Fail("LastCall longer than 15 characters");
  if (s.myLocator.size() > 6) Fail("locator longer than 6 characters");
  ReadLastHomeDir(file);
  int32_t v = 0;
  ParseProfileInteger(text.substr(0, 64), v);
  // Written back and read again, the settings are the same.
  TSettingsFile out(ScratchDir() + "/written.ini");
  SaveProgramSettings(out, s, s.lastCall, s.mapFitAlways, "/home/dir");
  TSettingsFile again(out.Path());
  if (!again.Load()) Fail("written settings file unreadable");
  const TProgramSettings t = LoadProgramSettings(again, notice);
  // Strings compare without outer blanks: the reader drops them, and a value cut to its length
  // (LastCall to 15) may end in one.
  const auto same = [](const char* key, const auto& a, const auto& b) {
    if constexpr (std::is_same_v<std::decay_t<decltype(a)>, std::string>) {
      const auto trim = [](const std::string& v) {
        const size_t first = v.find_first_not_of(" \t");
        return first == std::string::npos ? std::string()
                                          : v.substr(first, v.find_last_not_of(" \t") - first + 1);
      };
      if (trim(a) == trim(b)) return;
    } else if (a == b) {
      return;
    }
    Fail(std::string("settings changed on a round trip: ") + key);
  };
  same("LastCall", t.lastCall, s.lastCall);
  same("ReportOptions", t.reportOptions.mode, s.reportOptions.mode);
  same("ReportFilename", t.reportOptions.fileName, s.reportOptions.fileName);
  same("NumLines", t.printOptions.numLines, s.printOptions.numLines);
  same("OutfileName", t.printOptions.outfileName, s.printOptions.outfileName);
  same("SeparatorChar", t.printOptions.separatorChar, s.printOptions.separatorChar);
  same("NotesDataFilename", t.notesDataFilename, s.notesDataFilename);
  same("MyLocator", t.myLocator, s.myLocator);
  same("Pitch", t.morseOptions.pitch, s.morseOptions.pitch);
  return 0;
}

// Input: the notes file, the marker, then commands: per byte pair, an operation and a call.
int FuzzNotes(const uint8_t* data, size_t size) {
  const auto parts = SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  const std::string path = WriteScratch("notes.dat", parts[0]);
  static const char* const kCalls[] = {"dl1abc", "w1aw",   "k1abc", "g3xyz",
                                       "ja1aa",  "n0call", "a",     "zz9zz"};
  int notes = 0;
  try {
    TNotes file(path);
    notes = file.NoteCount();
    const std::string_view ops = parts[1];
    for (size_t i = 0; i + 1 < ops.size() && i < 64; i += 2) {
      const std::string call = kCalls[static_cast<uint8_t>(ops[i + 1]) % 8];
      TNoteRec rec;
      switch (static_cast<uint8_t>(ops[i]) % 4) {
        case 0:
          rec.Call = call;
          rec.Text = std::string(ops.substr(i, 300));
          file.SaveNote(rec);
          break;
        case 1:
          file.DeleteNote(call);
          break;
        case 2:
          if (file.ReadNote(call, rec) != file.HasNote(call)) Fail("ReadNote and HasNote differ");
          break;
        default:
          file.HasNote(std::string(ops.substr(i, 8)));
          break;
      }
    }
    notes = file.NoteCount();
  } catch (const ECallError&) {
    Fail("a normalised call refused");
  } catch (const std::exception&) {
    return 0;  // refused at opening (or a write failed): nothing more to check
  }
  // A file that opened, after any changes, opens again with the same notes.
  try {
    TNotes again(path);
    if (again.NoteCount() != notes) Fail("note count changed on reopening");
  } catch (const std::exception& e) {
    Fail(std::string("notes file no longer opens: ") + e.what());
  }
  return 0;
}

}  // namespace fuzz
