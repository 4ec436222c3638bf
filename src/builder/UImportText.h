#pragma once
// Texts of import sources turned into the data set's code page 437.
#include <string>
#include <string_view>

bool IsValidUtf8(std::string_view bytes);

// UTF-8 text (or, when the bytes are not valid UTF-8, Latin-1) in code page 437. A character
// without a code page 437 form becomes its plain letters when it has them ("Ł" "L", "Œ" "OE",
// typographic quotes and dashes their ASCII forms), otherwise "?"; control characters become
// blanks.
std::string ImportText(std::string_view bytes);

// The whole source file; throws EStatusError "cannot read <path>: <reason> (<reason code>)"
// when it cannot be read (NotFound for a missing file).
std::string ReadImportFile(const std::string& path);

// A field of an import source as the edition keeps it: ImportText, with line breaks and runs of
// blanks made single blanks and the blanks at both ends trimmed.
std::string CleanImportField(std::string_view raw);
