#pragma once
// A call as logging programs write it, with portable and prefix designators ("VE3/K5DRC/P"),
// split into the licensed base call and the designators.
#include <string>
#include <string_view>

struct TCallParts {
  std::string base;         // "K5DRC"; the whole text when it holds no "/"
  std::string designators;  // the other parts in their order, joined by "/": "VE3/P"
};

// The base call is the longest part that holds a digit and ends with a letter (a prefix such as
// "VE3" ends with its digit; "P", "MM", "QRP", "4" hold no call), else the longest part holding a
// letter and a digit, else the longest part. Empty parts are dropped; text is taken as it is.
TCallParts SplitCallParts(std::string_view text);

// U.S. calls begin with A, K, N or W: a call (or its search key) that begins so is looked up in
// the U.S. database first, every other one in the International database first.
bool BeginsAsUSCall(std::string_view call);
