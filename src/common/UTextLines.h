#pragma once
// Text split into lines, and the key=value files of an edition (edition.ini, build.ini) read
// from them. A line ends at "\n"; a "\r" before it is dropped, so files written on either system
// read the same. A text that ends with "\n" has no empty last line.
#include <istream>
#include <string>
#include <string_view>
#include <vector>

// The words of a text: the runs between blanks (' '), empty runs left out.
std::vector<std::string> SplitWords(std::string_view text);
// The fields of a line between separators, empty ones kept: "a\t\tb" gives "a", "", "b"; an
// empty text one empty field.
std::vector<std::string> SplitFields(std::string_view text, char sep);

// The lines of a text, one at a time, as views into it.
class TLineReader {
 public:
  explicit TLineReader(std::string_view text) : text_(text) {}
  // The next line without its end; false after the last one.
  bool Next(std::string_view& line);
  // The number of the line Next gave last, from 1.
  int LineNumber() const { return number_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int number_ = 0;
};

// All lines of a text (the views point into text).
std::vector<std::string_view> SplitLines(std::string_view text);
// std::getline for a stream of lines, without the "\r" of a line end written "\r\n".
bool ReadLine(std::istream& in, std::string& line);

// One line of a key=value file that says something: blank lines and comment lines (first
// non-blank character ";" or "#") are left out.
struct TIniLine {
  int number = 0;        // line number, from 1
  bool section = false;  // "[Name]": name holds Name (blanks trimmed)
  bool pair = false;     // "key=value": key and value with their blanks trimmed
  std::string name, key, value;
  std::string_view text;  // the whole line (for a line that is neither)
};
std::vector<TIniLine> ReadIniLines(std::string_view text);
