#pragma once
// The browser page of the look-up service: plain HTML and one style sheet served by the
// program, forms that work without JavaScript, every data text escaped.
#include <string>
#include <string_view>
#include <vector>

#include "callbook/UCallbookRecord.h"

// & < > " ' as HTML entities.
std::string HtmlEscape(std::string_view utf8);
// A query value percent-encoded for a link.
std::string UrlEncode(std::string_view utf8);

std::string PageStyle();
// The call box and the searches, and the edition's title and what it was made of.
std::string PageHome(std::string_view edition = {}, std::string_view madeOf = {});
// Where a page of search results sits in its list.
struct TResultsPage {
  int offset = 0;     // the page's first entry, counted from 0
  int total = -1;     // entries of the whole list; -1 when not known
  bool more = false;  // entries follow the page
  int pageSize = 50;  // entries a page holds
  std::string query;  // the search's query without its page ("field=name&text=smith")
};
// A search's entries as a table, each call a link to its page. A list cut to a page says so
// ("50 of 1,040") and links the previous and next pages.
std::string PageResults(std::string_view searched, const std::vector<TCallbookRecord>& found,
                        const TResultsPage& page = {});
// A count with thousands separators: "1,040".
std::string GroupedNumber(long long n);
// An entry's fields and its location line: grid, and distance and heading from myLocator when
// that is a valid locator.
std::string PageEntry(const TCallbookRecord& r, std::string_view myLocator);
std::string PageMessage(std::string_view heading, std::string_view text);
// "Grid EM12pr, 8123 km at 297° from JO62qm"; empty without a grid or coordinates.
std::string LocationLine(const TCallbookRecord& r, std::string_view myLocator);
