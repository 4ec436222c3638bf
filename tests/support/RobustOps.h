#pragma once
// The changes the kill loop makes to the user's files, numbered from 1: the writer program makes
// change n, and the test knows what the files hold after changes 1..n.
#include <array>
#include <map>
#include <string>

namespace robust {

inline constexpr std::array<const char*, 7> kCalls = {"dl1abc", "w1aw",  "k1abc", "g3xyz",
                                                      "ja1aa",  "vk2xx", "n0call"};

// Notes: every third change deletes a note, the others save one (of varying length).
struct TNoteChange {
  bool erase = false;
  std::string call;
  std::string text;
};
inline TNoteChange NoteChange(int n) {
  TNoteChange c;
  c.call = kCalls[static_cast<size_t>(n) % kCalls.size()];
  c.erase = n % 3 == 2;
  if (!c.erase)
    c.text = "note " + std::to_string(n) + std::string(static_cast<size_t>(n % 200), '.');
  return c;
}
using TNotesModel = std::map<std::string, std::string>;  // call -> text
inline void ApplyNoteChange(TNotesModel& m, int n) {
  const TNoteChange c = NoteChange(n);
  if (c.erase)
    m.erase(c.call);
  else
    m[c.call] = c.text;
}

// Report: change n appends this call.
inline std::string ReportCallOf(int n) { return "K" + std::to_string(n) + "XYZ"; }

// Settings: change n writes these two values together in one save.
inline std::string SettingsCallOf(int n) { return "W" + std::to_string(n); }
inline std::string SettingsReportNameOf(int n) {
  return "/tmp/report-" + std::to_string(n) + ".txt";
}

}  // namespace robust
