#include "notes/UNoteText.h"

#include "notes/UNotesIO.h"

std::string NoteTextFromMemo(std::string_view memo) {
  std::string text;
  if (memo.empty()) return text;
  text.reserve(memo.size() + 2);
  for (char c : memo) {
    if (c == '\n')
      text += "\r\n";
    else
      text += c;
  }
  text += "\r\n";
  if (text.size() > static_cast<size_t>(TNotes::kMaxTextLen)) {
    text.resize(TNotes::kMaxTextLen);
    if (text.back() == '\r') text.pop_back();
  }
  return text;
}

std::string MemoTextFromNote(std::string_view note) {
  std::string memo;
  memo.reserve(note.size());
  for (size_t i = 0; i < note.size(); ++i) {
    const char c = note[i];
    if (c == '\r') {
      memo += '\n';
      if (i + 1 < note.size() && note[i + 1] == '\n') ++i;
    } else {
      memo += c;
    }
  }
  if (!memo.empty() && memo.back() == '\n') memo.pop_back();
  return memo;
}
