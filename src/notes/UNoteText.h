#pragma once
// The note text between the notes editor's memo and the notes file: the memo holds lines
// separated by '\n', the file single-byte text with every line ended by CR LF. Converting back
// and forth keeps a note as it is, however often it is saved.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The text to store for the memo's text (single-byte, lines separated by '\n'): every line ended
// by CR LF, cut to TNotes::kMaxTextLen characters without keeping half a line break. An empty
// memo has no lines and gives "".
std::string NoteTextFromMemo(std::string_view memo);

// The memo's text for a stored note: CR LF, a lone CR and a lone LF each end a line; the break
// that ends the last line does not start another one.
std::string MemoTextFromNote(std::string_view note);

// A character of a note (UTF-8) that the notes file cannot hold (it holds code page 437), and the
// nearest text it can hold: "-" for an en dash, "o" for o with stroke, "\"" for curly quotes;
// "?" when there is none.
struct TNoteCharSwap {
  uint32_t codePoint = 0;
  std::string nearest;  // UTF-8, every character of it in code page 437
};
// The distinct characters of a UTF-8 text that code page 437 lacks, in the order they first
// appear. A malformed byte counts as U+FFFD.
std::vector<TNoteCharSwap> NoteCharsOutsideCodePage(std::string_view utf8);
// The text with every such character replaced by its nearest text.
std::string NoteTextWithNearestChars(std::string_view utf8);
// The nearest text of one code point lacking in code page 437 ("?" when there is none).
std::string NearestCodePageText(uint32_t codePoint);
