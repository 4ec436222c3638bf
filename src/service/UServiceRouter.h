#pragma once
// The look-up service without sockets: a request (method, target as sent, body) in, a whole
// answer out. Routes our JSON API (/api/v1/...), the HamQTH (/xml.php), callook (/CALL/json,
// /CALL/xml) and QRZ (/xml/current/, /bin/xml) interfaces and the browser page. Every input is
// checked before it reaches the data set: a bad one gets a 400 with a one-line reason.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "dataset/UEdition.h"

// Limits of the service.
inline constexpr size_t kMaxCallLength = 32;    // a call with its designators
inline constexpr size_t kMaxBatchCalls = 1000;  // calls of one POST
inline constexpr size_t kMaxBodyBytes = 64 * 1024;
inline constexpr size_t kMaxTargetBytes = 8 * 1024;
inline constexpr int kMaxListCount = 1000;  // entries of one search answer
inline constexpr size_t kMaxSearchText = 64;
inline constexpr int kPageEntries = 50;  // entries of one page of the browser page's lists
inline constexpr int kMaxPageNumber = 100000;

struct TServiceRequest {
  std::string method;  // "GET", "HEAD", "POST", ...
  std::string target;  // as sent: path and query, percent-encoded
  std::string body;
  std::string contentType;
};

struct TServiceResponse {
  int status = 200;
  std::string_view contentType = "text/plain; charset=utf-8";  // a literal
  std::string body;
};

// The U.S. orders a search can list.
enum class TSearchField { Name, City, Zip, County };

struct TServiceHealth {
  bool open = false;
  std::string title;     // the edition's title
  std::string dataDate;  // ISO date of the data file
  int32_t usCount = 0, intlCount = 0;
  std::string madeOf;   // what the edition was made of (EditionSourcesText)
  bool sample = false;  // invented entries only
  std::vector<TEditionSource> sources;
};

// One page of a list search: its entries and how many the search holds in all (-1 when the
// source cannot tell; more then says whether entries follow the page).
struct TListPage {
  std::vector<TCallbookRecord> found;
  int32_t total = -1;
  bool more = false;
};

// What the service asks of the directory. Implementations are called from many threads at once.
class TServiceSource {
 public:
  virtual ~TServiceSource() = default;
  // The entry of a call as typed (designators find the base call), with its match; the router
  // answers only an exact or base-call match.
  virtual TCallbookRecord FindCall(std::string_view typed) = 0;
  // count entries of a U.S. order from the first whose key is equal or greater, as the command
  // line lists them.
  virtual std::vector<TCallbookRecord> ListOrder(TSearchField field, std::string_view text,
                                                 int count) = 0;
  // The entries holding every word; db "us", "intl" or empty for both; at most count.
  virtual std::vector<TCallbookRecord> SearchWords(const std::vector<std::string>& words,
                                                   std::string_view db, int count) = 0;
  // count entries of ListOrder / SearchWords from the offset-th on, with the total where the
  // source knows it. By default cut from ListOrder / SearchWords, without a total.
  virtual TListPage ListOrderPage(TSearchField field, std::string_view text, int offset, int count);
  virtual TListPage SearchWordsPage(const std::vector<std::string>& words, std::string_view db,
                                    int offset, int count);
  virtual TServiceHealth Health() = 0;
  // The surname in a record's name as the licence data gives it ("VAN DER BERG" of "MARY ANN
  // VAN DER BERG"), words as the name writes them; empty when the source cannot tell (the QRZ
  // answer then splits the name by rule).
  virtual std::string Surname(const TCallbookRecord& r);
  // The user's own locator from the settings; empty when none.
  virtual std::string MyLocator() = 0;
};

// One decoded query: (name, value) pairs in their order.
using TQuery = std::vector<std::pair<std::string, std::string>>;

// Strict percent-decoding: "%" must be followed by two hex digits; with plus, "+" is a blank.
// The result must be UTF-8 without control characters; InvalidArgument saying why otherwise.
TResult<std::string> PercentDecode(std::string_view in, bool plus);
// name=value pairs separated by "&" or ";" (QRZ clients use ";").
TResult<TQuery> ParseQuery(std::string_view query);
// A form body or a batch body line: the same checks as a query.
const std::string* QueryValue(const TQuery& q, std::string_view name);
// A call as a client may send it: 1..kMaxCallLength letters, digits and "/", and no empty part
// between slashes.
TStatus CheckCall(std::string_view call);
// "/K5DRC", "K5DRC/", "VE3//K5DRC": an empty part between slashes, so no call (and never the
// entry of K5DRC). The JSON API and the callook paths answer 400, the XML interfaces not found.
bool EmptyCallPart(std::string_view call);
// The calls of a batch body: a JSON array of strings when it starts with "[", else one call a
// line, whatever the content type.
TResult<std::vector<std::string>> ParseBatch(std::string_view body, std::string_view contentType);

// Session keys handed out by the two XML interfaces: any user is let in, the data being local
// and public. A key is 32 lower-case hex digits; every well-formed key is accepted, so a client
// keeps working with its key after the service restarts. Others get the interface's session
// error, after which clients log in again.
class TSessionStore {
 public:
  std::string Open();
  bool Known(const std::string& key);
};

class TServiceRouter {
 public:
  explicit TServiceRouter(TServiceSource& source) : source_(source) {}
  TServiceResponse Handle(const TServiceRequest& req);

 private:
  TServiceResponse Route(const TServiceRequest& req, std::string_view path, const TQuery& query);
  TServiceResponse ApiCall(std::string_view call);
  TServiceResponse ApiBatch(const TServiceRequest& req);
  TServiceResponse ApiSearch(const TQuery& query);
  TServiceResponse ApiHealth();
  TServiceResponse HamQth(const TQuery& query);
  TServiceResponse Qrz(const TQuery& query);
  TServiceResponse Callook(std::string_view call, bool json);
  TServiceResponse Page(std::string_view path, const TQuery& query);
  // The record of a call with only an exact or base-call match; None otherwise: the next greater
  // entry is no answer for a logging program.
  TCallbookRecord Find(std::string_view call);

  TServiceSource& source_;
  TSessionStore hamQthSessions_, qrzSessions_;
};

// A 400 answer: "Bad request: " and the reason, one line.
TServiceResponse BadRequest(std::string_view reason);
