#pragma once
// The text of a decoded FT8/FT4 (and JT65, JT9, Q65, FST4, MSK144) message: who sends, whom it
// calls, the grid when one is sent, the report. Texts WSJT-X shows for its message types:
// "CQ K5DRC EM12", "CQ DX K5DRC EM12", "CQ 290 K5DRC EM12", "QRZ K5DRC", "W1AW K5DRC -12",
// "W1AW K5DRC R-05", "W1AW K5DRC RR73", "<...> K5DRC", "<VE3/K5DRC> W1AW", "CQ VE3/K5DRC",
// "W1AW/R K5DRC/R R EM12", the contest exchanges (field day, RTTY roundup, EU VHF); anything
// else is free text, from which no call is taken.
#include <string>
#include <string_view>

namespace wsjtx {

struct TMessageText {
  bool cq = false;            // CQ or QRZ: a station calling anyone
  std::string cqTarget;       // "DX", "POTA", "NA", "290" of "CQ POTA K5DRC EM12"
  std::string caller;         // the station sending (upper case; empty: none, or unknown "<...>")
  std::string called;         // the station addressed; empty for CQ
  bool callerHashed = false;  // sent as a hash "<...>": the text is what the decoder resolved
  bool calledHashed = false;
  std::string grid;       // the Maidenhead locator sent (4 or 6 characters), else empty
  std::string report;     // "-12", "R-05", "RRR", "RR73", "73", or the contest exchange
  bool freeText = false;  // no call could be read
};

// Reads a message as the decoder prints it. Trailing decoder marks ("a1".."a7", "?", "*") are
// not part of it. Never throws.
TMessageText ReadMessageText(std::string_view message);

// Whether a text has the shape of a (possibly compound) amateur call: letters and digits with a
// digit, "/" parts ("VE3/K5DRC", "K5DRC/P", "W1AW/R"), 3 to 11 characters in its base.
bool LooksLikeCall(std::string_view text);
// A 4-character locator ("EM12"; "RR73" is not one) or a 6-character one ("EM12kq").
bool IsGridText(std::string_view text);

}  // namespace wsjtx
