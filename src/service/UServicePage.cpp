#include "service/UServicePage.h"

#include <cmath>

#include "dataset/ULocator.h"
#include "map/UMapGeo.h"
#include "service/UServiceFormats.h"

namespace {

std::string Head(std::string_view title) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         HtmlEscape(title) +
         " - Tellmark</title>\n<link rel=\"stylesheet\" href=\"/style.css\">\n</head>\n<body>\n"
         "<header><a href=\"/\">Tellmark</a> callbook</header>\n<main>\n";
}

constexpr const char* kFoot = "</main>\n</body>\n</html>\n";

std::string Forms() {
  return "<form class=\"call\" action=\"/entry\" method=\"get\">\n"
         "<label for=\"call\">Call</label>\n"
         "<input id=\"call\" name=\"call\" maxlength=\"32\" autofocus required>\n"
         "<button type=\"submit\">Look up</button>\n</form>\n"
         "<form class=\"search\" action=\"/search\" method=\"get\">\n"
         "<label for=\"field\">U.S. by</label>\n<select id=\"field\" name=\"field\">\n"
         "<option value=\"name\">Name</option>\n<option value=\"city\">City</option>\n"
         "<option value=\"zip\">ZIP</option>\n<option value=\"county\">County</option>\n"
         "</select>\n<input id=\"text\" name=\"text\" maxlength=\"64\" required>\n"
         "<button type=\"submit\">List</button>\n</form>\n"
         "<form class=\"words\" action=\"/search\" method=\"get\">\n"
         "<label for=\"words\">Words</label>\n"
         "<input id=\"words\" name=\"words\" maxlength=\"64\" required>\n"
         "<select name=\"db\" aria-label=\"Database\">\n<option value=\"\">Both "
         "databases</option>\n"
         "<option value=\"us\">U.S.</option>\n<option value=\"intl\">International</option>\n"
         "</select>\n<button type=\"submit\">Search</button>\n</form>\n";
}

void Row(std::string& out, std::string_view label, std::string_view value) {
  if (value.empty()) return;
  out += "<tr><th>";
  out += HtmlEscape(label);
  out += "</th><td>";
  out += HtmlEscape(value);
  out += "</td></tr>\n";
}

std::string Optional(const std::optional<int>& v) { return v ? std::to_string(*v) : ""; }

}  // namespace

std::string HtmlEscape(std::string_view s) { return XmlEscape(s); }

std::string UrlEncode(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string PageStyle() {
  return "body{font-family:sans-serif;margin:0;color:#222;background:#fafafa}\n"
         "header{background:#234;color:#fff;padding:.6em 1em;font-size:1.2em}\n"
         "header a{color:#fff;text-decoration:none;font-weight:bold}\n"
         "main{padding:1em;max-width:60em}\n"
         "form{margin:.4em 0}label{display:inline-block;min-width:5em}\n"
         "input,select,button{font-size:1em;padding:.2em .4em}\n"
         "table{border-collapse:collapse;margin-top:1em}\n"
         "th,td{border:1px solid #ccc;padding:.25em .5em;text-align:left;vertical-align:top}\n"
         "th{background:#eef}.location{margin-top:1em;font-weight:bold}\n";
}

std::string PageHome() { return Head("Look-up") + "<h1>Look-up</h1>\n" + Forms() + kFoot; }

std::string PageResults(std::string_view searched, const std::vector<TCallbookRecord>& found) {
  std::string out = Head("Search");
  out += Forms();
  out += "<h1>" + HtmlEscape(searched) + "</h1>\n<p>" + std::to_string(found.size()) +
         (found.size() == 1 ? " entry" : " entries") + "</p>\n";
  if (!found.empty()) {
    out +=
        "<table class=\"results\">\n<tr><th>Call</th><th>Name</th><th>City</th><th>State</th>"
        "<th>ZIP</th><th>Country</th><th>Match</th></tr>\n";
    for (const TCallbookRecord& r : found) {
      out += "<tr><td><a href=\"/entry?call=" + HtmlEscape(UrlEncode(r.call)) + "\">" +
             HtmlEscape(r.call) + "</a></td><td>" + HtmlEscape(r.name) + "</td><td>" +
             HtmlEscape(r.city) + "</td><td>" + HtmlEscape(r.state) + "</td><td>" +
             HtmlEscape(r.zip) + "</td><td>" + HtmlEscape(r.country.empty() ? r.dxcc : r.country) +
             "</td><td>" + MatchName(r.match) + "</td></tr>\n";
    }
    out += "</table>\n";
  }
  return out + kFoot;
}

std::string LocationLine(const TCallbookRecord& r, std::string_view myLocator) {
  std::string grid = r.grid;
  if (grid.empty() && r.latitude && r.longitude) {
    // The locator of the coordinates (west-positive longitude text, as entries store it).
    grid = CoordToLocator(CoordText(-*r.longitude), CoordText(*r.latitude));
  }
  if (grid.empty()) return {};
  std::string line = "Grid " + GridText(grid);
  TEntf entf;
  if (!myLocator.empty() && IsValidLocator(myLocator) && GetEntf(myLocator, grid, entf)) {
    line += ", " + std::to_string(static_cast<long long>(std::lround(entf.distanceKm))) +
            " km at " + std::to_string(static_cast<long long>(std::lround(entf.heading)) % 360) +
            "\u00b0 from " + GridText(std::string(myLocator));
  }
  return line;
}

std::string PageEntry(const TCallbookRecord& r, std::string_view myLocator) {
  std::string out = Head(r.call);
  out += Forms();
  out += "<h1>" + HtmlEscape(r.call) + "</h1>\n<table class=\"entry\">\n";
  Row(out, "Match", MatchName(r.match));
  Row(out, "Designators", r.designators);
  Row(out, "Name", r.name);
  Row(out, "Street", r.street);
  Row(out, "City", r.city);
  Row(out, "State", r.state);
  Row(out, "ZIP", r.zip);
  Row(out, "County", r.county);
  Row(out, "Country", r.country);
  Row(out, "DXCC", r.dxcc);
  Row(out, "DXCC number", Optional(r.dxccCode));
  Row(out, "CQ zone", Optional(r.cqZone));
  Row(out, "ITU zone", Optional(r.ituZone));
  Row(out, "Continent", r.continent);
  Row(out, "Class", r.classText);
  Row(out, "Issued", r.issued);
  Row(out, "Expires", r.expires);
  Row(out, "Previous call", r.previousCall);
  Row(out, "Previous class", r.previousClass);
  if (r.vanity) Row(out, "Vanity", *r.vanity ? "yes" : "no");
  Row(out, "Latitude", r.latitude ? CoordText(*r.latitude) : "");
  Row(out, "Longitude", r.longitude ? CoordText(*r.longitude) : "");
  Row(out, "Time zone", r.timeZone);
  Row(out, "Area code", r.areaCode);
  Row(out, "QSL manager", r.qslManager);
  Row(out, "Comments", r.comments);
  Row(out, "Fax", r.fax);
  Row(out, "E-mail", r.email);
  out += "</table>\n";
  const std::string location = LocationLine(r, myLocator);
  if (!location.empty()) out += "<p class=\"location\">" + HtmlEscape(location) + "</p>\n";
  return out + kFoot;
}

std::string PageMessage(std::string_view heading, std::string_view text) {
  return Head(heading) + Forms() + "<h1>" + HtmlEscape(heading) + "</h1>\n<p>" + HtmlEscape(text) +
         "</p>\n" + kFoot;
}
