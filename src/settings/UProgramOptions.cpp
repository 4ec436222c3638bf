#include "settings/UProgramOptions.h"

#include <charconv>

#include "common/IOUtil.h"
#include "common/StrUtil.h"

namespace {

constexpr const char* kCorrect = " Correct it or cancel your settings.";

std::string RangeMessage(const char* what, int lo, int hi) {
  return std::string("\"") + what + "\" has an illegal value. Legal values are between " +
         std::to_string(lo) + " and " + std::to_string(hi) + ". " + kCorrect;
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// The extension of a file name: from the last "." of its name part, or empty.
std::string Extension(std::string_view name) {
  const size_t slash = name.find_last_of("/\\");
  const std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  const size_t dot = base.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(base.substr(dot));
}

TOptionsCheck Fail(std::string message, int page) { return {false, std::move(message), page}; }

}  // namespace

int32_t ReadOptionNumber(std::string_view text) {
  const std::string t = RemoveBlanks(text);
  if (t.empty()) return 0;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+' && t.size() > 1) ++b;
  int32_t v = 0;
  const auto [p, ec] = std::from_chars(b, e, v);
  return ec == std::errc() && p == e ? v : 0;
}

std::string LocatorFromEdit(std::string_view text) {
  std::string r = Cut(text, 6);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

bool IsLegalLocator(std::string_view t) {
  if (t.empty()) return true;
  if (t.size() != 6) return false;
  const auto in = [](char c, char lo, char hi) { return c >= lo && c <= hi; };
  return in(t[0], 'A', 'R') && in(t[1], 'A', 'R') && in(t[2], '0', '9') && in(t[3], '0', '9') &&
         in(t[4], 'A', 'X') && in(t[5], 'A', 'X');
}

TOptionsCheck ValidateProgramOptions(const TProgramOptionsInput& in) {
  if (!in.notesFile.empty()) {
    if (IsDeviceFileName(in.notesFile))
      return Fail(std::string("\"Notes data file\" has an illegal value.") + kCorrect, opGeneral);
    if (LowerAscii(Extension(in.notesFile)) != ".ndf")
      return Fail(
          std::string("\"Notes data file\" must have the file extension \".ndf\".") + kCorrect,
          opGeneral);
  }
  if (IsDeviceFileName(in.reportFile))
    return Fail(std::string("\"Report file\" has an illegal value.") + kCorrect, opReport);
  if (IsDeviceFileName(in.outputFile))
    return Fail(std::string("\"Output to\" for label printing has an illegal value.") + kCorrect,
                opLabels);
  const int32_t lines = ReadOptionNumber(in.lines);
  if (lines < 1 || lines > 11) return Fail(RangeMessage("Lines on label", 1, 11), opLabels);
  const int32_t chars = ReadOptionNumber(in.chars);
  if (chars < 10 || chars > 65) return Fail(RangeMessage("Char per line", 10, 65), opLabels);
  const int32_t margin = ReadOptionNumber(in.margin);
  if (margin < 0 || margin > 120) return Fail(RangeMessage("Left margin", 0, 120), opLabels);
  if (!IsLegalLocator(LocatorFromEdit(in.locator)))
    return Fail(
        "\"Locator\" has an illegal value. A correct value is between \"AA00AA\" and "
        "\"RR99XX\". Leave this field empty if you do not want to use it." +
            std::string(kCorrect),
        opGeneral);
  return {};
}

int32_t ReportModeOfButtons(bool always, bool onRequest) {
  return always ? rmAlways : onRequest ? rmOnRequest : rmNever;
}

int32_t AddCountryOfButtons(bool postal, bool dxcc) { return postal ? 1 : dxcc ? 2 : 0; }

TPrintOptions PrintOptionsOfInput(const TProgramOptionsInput& in, bool useItForCSV,
                                  std::string_view separator) {
  TPrintOptions o;
  o.numLines = static_cast<uint16_t>(ReadOptionNumber(in.lines));
  o.numChar = static_cast<uint16_t>(ReadOptionNumber(in.chars));
  o.leftMargin = static_cast<uint16_t>(ReadOptionNumber(in.margin));
  o.outfileName = in.outputFile;
  o.useItForCSV = useItForCSV;
  o.separatorChar = separator.empty() ? ';' : separator[0];
  return o;
}

bool IsPrinterOrDeviceName(std::string_view name) {
  const std::string n = LowerAscii(TrimBlanks(name));
  if (n.empty() || IsDeviceFileName(n)) return true;
  return n == "prn" || n == "nul" || n == "lpt1" || n == "lpt2" || n == "lpt3" ||
         n.rfind("/dev/", 0) == 0;
}
