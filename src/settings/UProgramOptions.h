#pragma once
// Rules of the program options dialog that need no window: the number and file-name rules of its
// edits, the validation with its messages and pages, and the values it hands back.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/USettings.h"

// Pages of the options notebook.
enum TOptionsPage : int { opGeneral = 0, opReport = 1, opLabels = 2, opStyle = 3 };

// The texts of the dialog's edits (file names in the local encoding).
struct TProgramOptionsInput {
  std::string notesFile;
  std::string reportFile;
  std::string outputFile;
  std::string lines, chars, margin;
  std::string locator;
};

// Outcome of the validation: the first failing rule's message and the page it switches to.
struct TOptionsCheck {
  bool ok = true;
  std::string message;
  int page = -1;
  explicit operator bool() const { return ok; }
};

// A number from an edit: every blank removed, the rest read as a decimal integer; text that does
// not convert (or does not fit 32 bits) counts as 0.
int32_t ReadOptionNumber(std::string_view text);
// The locator as stored: upper case, cut to 6 characters.
std::string LocatorFromEdit(std::string_view text);
// Empty, or 6 characters from "AA00AA" to "RR99XX" (after LocatorFromEdit).
bool IsLegalLocator(std::string_view text);
// Runs the eight rules in order.
TOptionsCheck ValidateProgramOptions(const TProgramOptionsInput& in);

// Report mode of the three radio buttons; report mode to check: 2 Always, 3 Never, else On request.
int32_t ReportModeOfButtons(bool always, bool onRequest);
// Address style country: 1 postal, 2 DXCC, 0 none.
int32_t AddCountryOfButtons(bool postal, bool dxcc);
// The label options as the dialog hands them back: the numbers by the number rule, kept to the
// field's 16 bits; the first character of the separator edit or ";" when it is empty.
TPrintOptions PrintOptionsOfInput(const TProgramOptionsInput& in, bool useItForCSV,
                                  std::string_view separator);

// "Clear export file now": output names that stand for a printer (prn, lpt1..lpt3) or another
// device are not files and are left alone.
bool IsPrinterOrDeviceName(std::string_view name);
