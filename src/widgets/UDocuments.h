#pragma once
// Opening documents in the desktop's programs (the text viewer, a document's own program). Every
// opening goes through one launcher, which tests replace by a fake.
#include <QString>
#include <memory>
#include <stdexcept>

class TDocumentLauncher {
 public:
  virtual ~TDocumentLauncher() = default;
  // Opens an existing local file in the desktop's program for its type; false when none starts.
  virtual bool Open(const QString& path) = 0;
};

// Replaces the launcher (null restores the desktop's: xdg-open, else QDesktopServices::openUrl);
// returns the one that was in use.
std::shared_ptr<TDocumentLauncher> SetDocumentLauncher(std::shared_ptr<TDocumentLauncher> launcher);

// Result codes in the shell's style: above 32 success, otherwise the reason.
constexpr int kShellFileNotFound = 2;
constexpr int kShellNoAssociation = 31;
constexpr int kShellOk = 42;

// Opens a text file in the desktop's text viewer, else in the program's own viewer; returns the
// result code (2 when the file does not exist, 31 when neither can show it).
int OpenInNotepad(const QString& path);

// Opens a file with its associated program and returns the result code; throws
// std::runtime_error "Could not find associated program (Errorcode n)" when the file is missing,
// "Could not open file/find associated program (Errorcode n)" when no program starts.
int OpenWithAssociatedProgram(const QString& path);
