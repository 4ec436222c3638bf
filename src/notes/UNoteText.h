#pragma once
// The note text between the notes editor's memo and the notes file: the memo holds lines
// separated by '\n', the file single-byte text with every line ended by CR LF. Converting back
// and forth keeps a note as it is, however often it is saved.
#include <string>
#include <string_view>

// The text to store for the memo's text (single-byte, lines separated by '\n'): every line ended
// by CR LF, cut to TNotes::kMaxTextLen characters without keeping half a line break. An empty
// memo has no lines and gives "".
std::string NoteTextFromMemo(std::string_view memo);

// The memo's text for a stored note: CR LF, a lone CR and a lone LF each end a line; the break
// that ends the last line does not start another one.
std::string MemoTextFromNote(std::string_view note);
