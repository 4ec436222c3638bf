// Test-only program for the kill loop: makes the changes first, first + 1, ... to one user file
// until it is killed, writing each change's number to standard output once the change is done.
//   robust_writer notes|report|settings FILE FIRST
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "RobustOps.h"
#include "notes/UNotesIO.h"
#include "report/UReport.h"
#include "settings/USettings.h"

namespace {

void Done(int n) {
  const std::string line = std::to_string(n) + "\n";
  if (::write(1, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::_Exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: robust_writer notes|report|settings FILE FIRST\n");
    return 2;
  }
  const std::string mode = argv[1], file = argv[2];
  const int first = std::atoi(argv[3]);
  const int last = first + 100000;
  try {
    if (mode == "notes") {
      TNotes notes(file);
      for (int n = first; n < last; ++n) {
        const robust::TNoteChange c = robust::NoteChange(n);
        if (c.erase) {
          notes.DeleteNote(c.call);
        } else {
          TNoteRec rec;
          rec.Call = c.call;
          rec.Text = c.text;
          notes.SaveNote(rec);
        }
        Done(n);
      }
    } else if (mode == "report") {
      SetReportFileName(file);
      for (int n = first; n < last; ++n) {
        const TReportResult r = AddEntryToReport(robust::ReportCallOf(n));
        if (!r) throw std::runtime_error(r.message);
        Done(n);
      }
    } else if (mode == "settings") {
      for (int n = first; n < last; ++n) {
        TSettingsFile f(file);
        f.Load();
        bool notice = false;
        TProgramSettings s = LoadProgramSettings(f, notice);
        s.reportOptions.fileName = robust::SettingsReportNameOf(n);
        SaveProgramSettings(f, s, robust::SettingsCallOf(n), n % 2 == 1, "/home/ham/data");
        Done(n);
      }
    } else {
      std::fprintf(stderr, "robust_writer: unknown mode %s\n", mode.c_str());
      return 2;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "robust_writer: %s\n", e.what());
    return 1;
  }
  return 0;
}
