#pragma once
// Opening documents in the desktop's programs (the text viewer, a document's own program). Every
// opening goes through one launcher, which tests replace by a fake.
#include <QString>
#include <QStringList>
#include <memory>
#include <stdexcept>

class TDocumentLauncher {
 public:
  virtual ~TDocumentLauncher() = default;
  // Opens an existing local file in the desktop's program for its type; false when none starts.
  virtual bool Open(const QString& path) = 0;
  // Opens a text file in an editor outside the program (see ChooseTextEditor); false when there
  // is none, and the program's own editor is used. By default as Open.
  virtual bool Edit(const QString& path) { return Open(path); }
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

// How a text file is opened for editing: the desktop's editor for text files (xdg-open, when
// xdg-mime names a program for text/plain), else $VISUAL or $EDITOR in a terminal emulator
// when both are installed, else the program's own viewer switched to editing.
enum class TEditorKind { Desktop, Terminal, BuiltIn };
struct TTextEditorChoice {
  TEditorKind kind = TEditorKind::BuiltIn;
  QString program;  // Desktop and Terminal: what is started, with arguments
  QStringList arguments;
};
TTextEditorChoice ChooseTextEditor(const QString& path);

// Opens a text file for editing as ChooseTextEditor says (the built-in editor when the program
// chosen does not start); the result code as OpenInNotepad's.
int OpenInTextEditor(const QString& path);
