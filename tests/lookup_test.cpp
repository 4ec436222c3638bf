#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "OpenedDataSet.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "lookup_fixture.h"
#include "storage/UIndexEngine.h"

namespace {

class LookupTest : public EditionSuite<fixture::TFixtureEdition> {
 protected:
  // The entry shown after a command: its call, as the window would show it.
  std::string Shown() {
    if (!lk.LoadCurrent()) return "<read failed>";
    return MakeEntryView(lk.Record()).call;
  }
  static int32_t RefAt(int index, int32_t pos) {
    int32_t ref = -1;
    EXPECT_TRUE(ReadOrderEntry(index, pos, ref));
    return ref;
  }

  TLookup lk;
};

}  // namespace

TEST(SearchHistory, NewestFirstDedupeSwapAndLimit) {
  TSearchHistory h;
  h.Add("w1aw");
  h.Add("k1abc");
  h.Add("w1aw");  // known, at index 1: swapped with the first
  EXPECT_EQ(h.Items(), (std::vector<std::string>{"w1aw", "k1abc"}));
  h.Add("w1aw");  // already first: unchanged
  EXPECT_EQ(h.Items().size(), 2u);
  h.Add("");  // an empty key is kept like any other
  EXPECT_EQ(h.Items().front(), "");

  TSearchHistory full;
  for (int i = 0; i < 50; ++i) full.Add("c" + std::to_string(i));
  ASSERT_EQ(full.Items().size(), 50u);
  EXPECT_EQ(full.Items().back(), "c0");
  full.Add("c10");  // a known key swaps, nothing falls out
  EXPECT_EQ(full.Items().front(), "c10");
  EXPECT_EQ(full.Items()[39], "c49");
  EXPECT_EQ(full.Items().size(), 50u);
  full.Add("c50");  // the 51st different key pushes the oldest out
  EXPECT_EQ(full.Items().size(), 50u);
  EXPECT_EQ(full.Items().front(), "c50");
  EXPECT_EQ(std::count(full.Items().begin(), full.Items().end(), "c0"), 0);
  EXPECT_EQ(full.Items().back(), "c1");
}

TEST(EntryText, QthNoBreakAndNotFoundTexts) {
  const std::string nb = "\xC2\xA0";
  EXPECT_EQ(QthNoBreak("JOHN Q SMITH, 1 BEACON ST, BOSTON"),
            "JOHN" + nb + "Q" + nb + "SMITH, 1" + nb + "BEACON" + nb + "ST, BOSTON");
  EXPECT_EQ(QthNoBreak(" A"), " A");  // the first character stays a blank
  EXPECT_EQ(QthNoBreak("M\xC3\xBCller X"), "M\xC3\xBCller" + nb + "X");
  EXPECT_EQ(NotFoundText("Call", "w1xyz"), "Call \"w1xyz\" not found.");
  EXPECT_EQ(NotFoundText("County", "zzz"), "County \"zzz\" not found.");
  EXPECT_EQ(OrderOfListOrder(2), oiUSName);
  EXPECT_EQ(ListOrderOfOrder(oiUSZIP), 4);
  for (int n = 0; n < 6; ++n) EXPECT_EQ(ListOrderOfOrder(OrderOfListOrder(n)), n);
}

TEST_F(LookupTest, EntryViewsOfBothDatabases) {
  lk.SearchCallEdit("k1abc");
  ASSERT_TRUE(lk.LoadCurrent());
  TEntryView v = MakeEntryView(lk.Record());
  EXPECT_EQ(v.db, TDatabase::US);
  EXPECT_EQ(v.call, "K1ABC");
  EXPECT_EQ(v.classText, "E - Extra");
  EXPECT_EQ(v.issued, "07/04/1999");
  EXPECT_EQ(v.expires, "07/04/2009");
  EXPECT_EQ(v.vanity, "YES");
  EXPECT_EQ(v.prevCall, "N1XYZ");
  EXPECT_EQ(v.prevClass, "G - General");
  EXPECT_EQ(v.locator, "FN42LI");  // computed from 71.0636 W, 42.3581 N
  EXPECT_EQ(v.county, "SUFFOLK");
  EXPECT_EQ(v.qslManagerRef, 2);
  EXPECT_FALSE(v.HasDetails());
  EXPECT_EQ(v.mapNr, 12);

  lk.SearchCallEdit("W9ZZ");
  ASSERT_TRUE(lk.LoadCurrent());
  v = MakeEntryView(lk.Record());
  EXPECT_EQ(v.classText, "x - Unknown");
  EXPECT_EQ(v.vanity, "NO");
  EXPECT_EQ(v.locator, "");  // no coordinates
  EXPECT_EQ(v.issued, "");
  EXPECT_EQ(v.prevClass, "");

  lk.SearchCallEdit("n0xx");
  EXPECT_EQ(Shown(), "N0XX");  // stored as N<XX

  lk.SearchCallEdit("dl1abc");
  ASSERT_TRUE(lk.IsIntl());
  ASSERT_TRUE(lk.LoadCurrent());
  v = MakeEntryView(lk.Record());
  EXPECT_EQ(v.classText, "A");  // as stored
  EXPECT_EQ(v.locator, "JO62QM");
  EXPECT_EQ(v.qslManagerRef, 1);
  EXPECT_TRUE(v.HasDetails());
  EXPECT_EQ(v.comments, "QRV on 40 m every evening");
  EXPECT_EQ(v.mapNr, 3);
}

TEST_F(LookupTest, CallLookupAcrossDatabases) {
  lk.SwitchToIntl();
  EXPECT_EQ(Shown(), "3D2AG");
  // W1AW in any case switches to the U.S. database, without a message.
  for (const char* typed : {"W1AW", "w1aw", " W1aw "}) {
    lk.SwitchToIntl();
    const TCallLookup r = lk.SearchCallEdit(typed);
    EXPECT_TRUE(r.exact && r.switched && r.found) << typed;
    EXPECT_EQ(r.message, "");
    EXPECT_FALSE(lk.IsIntl());
    EXPECT_EQ(lk.SortIndex(), oiUSCall);
    EXPECT_EQ(Shown(), "W1AW");
  }
  // The upper-case start call tries the International index first, then the U.S. one.
  lk.SwitchToIntl();
  EXPECT_TRUE(lk.FindCall("W1AW").switched);
  EXPECT_EQ(Shown(), "W1AW");
  // An International call typed while the U.S. database is shown.
  const TCallLookup g = lk.SearchCallEdit("g3xyz");
  EXPECT_TRUE(g.switched);
  EXPECT_TRUE(lk.IsIntl());
  EXPECT_EQ(Shown(), "G3XYZ");
}

TEST_F(LookupTest, CallNotFoundTakesTheNextGreaterOfTheDatabaseShown) {
  lk.SwitchToUS();
  TCallLookup r = lk.SearchCallEdit("K5ZZZ");
  EXPECT_FALSE(r.exact);
  EXPECT_FALSE(r.switched);
  EXPECT_EQ(r.message, "Call \"k5zzz\" not found. Displaying the next greater entry.");
  EXPECT_EQ(Shown(), "KB1AAA");
  // U.S. shown, short text: the message all the same.
  r = lk.SearchCallEdit("k5z");
  EXPECT_EQ(r.message, "Call \"k5z\" not found. Displaying the next greater entry.");

  // International shown, 3 characters or fewer: moves without a message.
  lk.SwitchToIntl();
  r = lk.SearchCallEdit("g3z");
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.message, "");
  EXPECT_TRUE(lk.IsIntl());
  EXPECT_EQ(Shown(), "JA1AA");
  // ... also for a text the U.S. index is searched first for.
  r = lk.SearchCallEdit("aa1");
  EXPECT_EQ(r.message, "");
  EXPECT_TRUE(lk.IsIntl());
  EXPECT_EQ(Shown(), "DL1ABC");
  r = lk.SearchCallEdit("g3zz");
  EXPECT_EQ(r.message, "Call \"g3zz\" not found. Displaying the next greater entry.");
  EXPECT_EQ(Shown(), "JA1AA");
  // The start call of a fresh settings file.
  lk.SwitchToIntl();
  r = lk.FindCall("AA1A");
  EXPECT_EQ(r.message, "Call \"AA1A\" not found. Displaying the next greater entry.");
  EXPECT_TRUE(lk.IsIntl());
  EXPECT_EQ(Shown(), "DL1ABC");
}

// A call typed with portable or prefix designators finds its base call's entry as an exact hit,
// from either database shown; only a base call that does not exist is "not found".
TEST_F(LookupTest, CallWithDesignatorsFindsTheBaseCall) {
  struct TCase {
    const char* typed;
    bool exact;
    const char* shown;
    const char* designators;
    const char* message;
  };
  const TCase cases[] = {
      {"K1ABC/P", true, "K1ABC", "P", ""},
      {" k1abc/qrp ", true, "K1ABC", "QRP", ""},
      {"VE3/K1ABC/P", true, "K1ABC", "VE3/P", ""},
      {"W1AW/MM", true, "W1AW", "MM", ""},
      {"DL/G3XYZ", true, "G3XYZ", "DL", ""},
      {"G3XYZ/DL1", true, "G3XYZ", "DL1", ""},
      {"W1AW/K1ABC", true, "K1ABC", "W1AW", ""},  // the longer of two calls
      {"K5ZZZ/P", false, "KB1AAA", "P",
       "Call \"k5zzz\" not found. Displaying the next greater entry."},
  };
  for (const bool intl : {true, false}) {
    for (const TCase& c : cases) {
      intl ? lk.SwitchToIntl() : lk.SwitchToUS();
      const TCallLookup r = lk.SearchCallEdit(c.typed);
      if (!c.exact && intl) continue;  // not found: the next greater of the database shown
      EXPECT_EQ(r.exact, c.exact) << c.typed;
      EXPECT_EQ(Shown(), c.shown) << c.typed;
      EXPECT_EQ(r.designators, c.designators) << c.typed;
      EXPECT_EQ(r.message, c.message) << c.typed;
    }
  }
  // A plain call has none; the history keeps what was typed.
  EXPECT_EQ(lk.SearchCallEdit("k1abc").designators, "");
  EXPECT_EQ(lk.CallHistory().Items()[1], "k5zzz/p");
  // The command line splits the same way.
  const TCallParts p = TLookup::CallBoxParts(" VE3/w1aw/p ");
  EXPECT_EQ(p.base, "w1aw");
  EXPECT_EQ(p.designators, "VE3/P");
}

// The call indexes hold 6 characters: a longer call (or a shorter one of a longer entry) is exact
// only when the whole call is the entry's call, otherwise the next greater entry is taken.
TEST_F(LookupTest, ExactOnlyForTheWholeCall) {
  const struct {
    const char* call;
    bool exact;
    const char* shown;  // whole call of the entry taken
  } cases[] = {
      {"dl1abcxyz", false, "F5ABC"},  {"oe2xabzzz", false, "VK2XX"},
      {"oe2xab", false, "OE2XABCDE"}, {"oe2xabcde", true, "OE2XABCDE"},
      {"oe2xabcdf", false, "VK2XX"},  {"w1aw", true, "W1AW"},
      {"w1awx", false, "W9ZZ"},       {"n0xx", true, "N0XX"},
  };
  for (const auto& c : cases) {
    if (c.call[0] == 'w' || c.call[0] == 'n')
      lk.SwitchToUS();
    else
      lk.SwitchToIntl();
    const TCallLookup r = lk.FindCall(c.call);
    EXPECT_EQ(r.exact, c.exact) << c.call;
    EXPECT_TRUE(r.found) << c.call;
    EXPECT_EQ(r.message.empty(), c.exact) << c.call << ": " << r.message;
    ASSERT_TRUE(lk.LoadCurrent());
    EXPECT_EQ(lk.Record().Field(1), c.shown) << c.call;
  }
}

TEST_F(LookupTest, CallAboveEveryCallKeepsTheEntry) {
  lk.SwitchToUS();
  lk.SearchCallEdit("w1aw");
  ASSERT_EQ(Shown(), "W1AW");
  const int32_t ref = lk.CurrentRef();
  TCallLookup r = lk.SearchCallEdit("wz9zz");
  EXPECT_FALSE(r.found);
  EXPECT_EQ(r.message, "Call \"wz9zz\" not found.");
  EXPECT_EQ(lk.CurrentRef(), ref);
  EXPECT_EQ(Shown(), "W1AW");

  lk.SwitchToIntl();
  lk.SearchCallEdit("vk2xx");
  r = lk.SearchCallEdit("zz9");  // even a short text gets the message when nothing is taken
  EXPECT_EQ(r.message, "Call \"zz9\" not found.");
  EXPECT_EQ(Shown(), "VK2XX");

  // Empty and blank texts do nothing.
  EXPECT_FALSE(lk.FindCall("   ").searched);
  EXPECT_EQ(Shown(), "VK2XX");
}

TEST_F(LookupTest, SteppingClampsAtBothEnds) {
  lk.SwitchToUS();
  ASSERT_TRUE(lk.LoadCurrent());
  const int32_t last = OrderEntryCount(oiUSCall) - 1;
  ASSERT_GT(last, 1000);
  EXPECT_TRUE(lk.MoveBy(1000));
  EXPECT_EQ(lk.Position(), 1000);
  EXPECT_TRUE(lk.MoveBy(1000));
  EXPECT_EQ(lk.Position(), last);
  ASSERT_TRUE(lk.LoadCurrent());
  EXPECT_EQ(MakeEntryView(lk.Record()).call, "W9ZZ");
  const int32_t ref = lk.CurrentRef();
  EXPECT_FALSE(lk.MoveBy(1));  // "+ 1" on the last entry: it stays
  EXPECT_EQ(lk.Position(), last);
  EXPECT_EQ(lk.CurrentRef(), ref);

  for (int index : {oiUSCall, oiUSName, oiUSCounty}) {
    lk.SelectOrder(index);
    ASSERT_TRUE(lk.LoadCurrent());
    ASSERT_TRUE(lk.GoToPosition(400));
    ASSERT_TRUE(lk.LoadCurrent());
    EXPECT_EQ(lk.Position(), 400);
    EXPECT_TRUE(lk.MoveBy(-1000));  // "- 1000" at 400: position 0
    EXPECT_EQ(lk.Position(), 0);
    EXPECT_EQ(lk.CurrentRef(), RefAt(index, 0));
    EXPECT_FALSE(lk.MoveBy(-1));
  }

  lk.SwitchToIntl();
  EXPECT_TRUE(lk.MoveBy(100));
  EXPECT_EQ(lk.Position(), OrderEntryCount(oiIntlCall) - 1);
}

TEST_F(LookupTest, OrderChangeKeepsTheEntryAtItsNewPosition) {
  lk.SwitchToUS();
  lk.SearchCallEdit("k1abc");
  ASSERT_TRUE(lk.LoadCurrent());
  const int32_t ref = lk.CurrentRef();
  for (int index : {oiUSName, oiUSCity, oiUSZIP, oiUSCounty, oiUSCall}) {
    lk.SelectOrder(index);
    EXPECT_EQ(lk.ListOrder(), ListOrderOfOrder(index));
    ASSERT_TRUE(lk.LoadCurrent());
    EXPECT_EQ(lk.CurrentRef(), ref);
    EXPECT_EQ(RefAt(index, lk.Position()), ref) << index;
  }
  // Stepping then goes through the new order.
  lk.SelectOrder(oiUSName);
  ASSERT_TRUE(lk.LoadCurrent());
  const int32_t p = lk.Position();
  ASSERT_TRUE(lk.MoveBy(1));
  EXPECT_EQ(lk.CurrentRef(), RefAt(oiUSName, p + 1));
}

TEST_F(LookupTest, SearchResultsOrderAndDatabaseSwitch) {
  lk.SwitchToUS();
  EXPECT_FALSE(lk.SelectResults());  // no results yet
  std::vector<int32_t> refs = {RefAt(oiUSCall, 5), RefAt(oiUSCall, 2), RefAt(oiUSCall, 9)};
  lk.SetResults(std::make_shared<TResultVector>(refs));
  ASSERT_TRUE(lk.SelectResults());
  EXPECT_TRUE(lk.InResults());
  EXPECT_EQ(lk.ListOrder(), kResultsListOrder);
  EXPECT_EQ(lk.Position(), 1);
  EXPECT_EQ(lk.CurrentRef(), refs[0]);
  ASSERT_TRUE(lk.LoadCurrent());
  EXPECT_EQ(lk.Position(), 1);  // the results numbering stays
  EXPECT_EQ(lk.RecNrText(), "1 of 3");
  EXPECT_TRUE(lk.MoveBy(10));
  EXPECT_EQ(lk.Position(), 3);
  EXPECT_EQ(lk.CurrentRef(), refs[2]);
  EXPECT_FALSE(lk.MoveBy(1));
  EXPECT_TRUE(lk.MoveBy(-1000));
  EXPECT_EQ(lk.Position(), 1);
  // The list view's rows: result row 1 is result 2; the U.S. text is address, state and ZIP.
  std::string call, text;
  ASSERT_TRUE(lk.GetListRow(1, call, text));
  EXPECT_EQ(call, "KB1AAB");
  EXPECT_EQ(text, "PAT MOORE, 109 ELM ST, DAYTON, OH 45402");
  EXPECT_TRUE(lk.GetListRow(99, call, text));  // clamped to the last result
  EXPECT_EQ(call, "KB1AAI");

  // Leaving the results order empties the position text.
  lk.SelectOrder(oiUSCall);
  EXPECT_EQ(lk.RecNrText(), "");
  ASSERT_TRUE(lk.SelectResults());
  // Switching the database from the results order drops the results.
  lk.SwitchToIntl();
  EXPECT_FALSE(lk.InResults());
  EXPECT_EQ(lk.ResultCount(), 0);
  EXPECT_FALSE(lk.SelectResults());
  EXPECT_EQ(lk.SortIndex(), oiIntlCall);
  EXPECT_EQ(lk.CurrentRef(), RefAt(oiIntlCall, 0));
  lk.SetResults(std::make_shared<TResultVector>(refs));
  ASSERT_TRUE(lk.SelectResults());
  lk.SwitchToUS();
  EXPECT_EQ(lk.ResultCount(), 0);
  EXPECT_EQ(lk.SortIndex(), oiUSCall);
  EXPECT_EQ(Shown(), "K1ABC");
  EXPECT_EQ(lk.Position(), 0);
}

TEST_F(LookupTest, OrderSearchesAndTheirNotFoundTexts) {
  lk.SwitchToUS();
  TOrderLookup r = lk.SearchZIP("80202");
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(lk.SortIndex(), oiUSZIP);
  EXPECT_EQ(Shown(), "N0XX");
  EXPECT_EQ(RefAt(oiUSZIP, lk.Position()), lk.CurrentRef());

  r = lk.SearchZIP(" 8020 ");  // next greater key: the first entry of ZIP 80202
  EXPECT_EQ(r.message, "ZIP \"8020\" not found.");
  EXPECT_EQ(Shown(), "N0XX");
  r = lk.SearchZIP("99999");  // above every ZIP: the entry stays
  EXPECT_EQ(r.message, "ZIP \"99999\" not found.");
  EXPECT_EQ(Shown(), "N0XX");
  r = lk.SearchZIP("");  // empty: the first entry of the order
  EXPECT_EQ(r.message, "ZIP \"\" not found.");
  EXPECT_EQ(lk.CurrentRef(), RefAt(oiUSZIP, 0));
  EXPECT_EQ(lk.ZIPHistory().Items(), (std::vector<std::string>{"", "99999", "8020", "80202"}));

  r = lk.SearchCounty("Suffolk");
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(Shown(), "K1ABC");
  r = lk.SearchCounty("Zzz");
  EXPECT_EQ(r.message, "County \"zzz\" not found.");
  EXPECT_EQ(Shown(), "K1ABC");
  r = lk.SearchCounty("Hillsborough Cnty");  // 17 characters: 14 and "*"
  EXPECT_EQ(r.message, "County \"hillsborough c*\" not found.");
  EXPECT_EQ(lk.CountyHistory().Items().front(), "hillsborough c*");

  r = lk.SearchName("  Smith ");
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(lk.SortIndex(), oiUSName);
  EXPECT_EQ(Shown(), "K1ABC");  // the first SMITH of the name order
  EXPECT_EQ(RefAt(oiUSName, lk.Position()), lk.CurrentRef());
  r = lk.SearchName(" Nobody ");
  EXPECT_EQ(r.message, "Name \"Nobody\" not found.");
  EXPECT_EQ(Shown(), "KB2AAA");  // the first PARKER, the next greater name
  EXPECT_FALSE(lk.SearchName("   ").searched);

  r = lk.SearchCity("Newington");
  EXPECT_TRUE(r.exact);
  EXPECT_EQ(Shown(), "W1AW");
  r = lk.SearchCity("Nowhere");
  EXPECT_EQ(r.message, "City \"Nowhere\" not found.");
  EXPECT_EQ(lk.SortIndex(), oiUSCity);
  EXPECT_FALSE(lk.SearchCity("").searched);

  // None of them runs while the International database is shown.
  lk.SwitchToIntl();
  const int32_t ref = lk.CurrentRef();
  EXPECT_FALSE(lk.SearchZIP("80202").searched);
  EXPECT_FALSE(lk.SearchCounty("cook").searched);
  EXPECT_FALSE(lk.SearchName("smith").searched);
  EXPECT_FALSE(lk.SearchCity("boston").searched);
  EXPECT_EQ(lk.CurrentRef(), ref);
  EXPECT_EQ(lk.SortIndex(), oiIntlCall);
}

TEST_F(LookupTest, ReadFailureKeepsTheState) {
  lk.SwitchToUS();
  ASSERT_EQ(Shown(), "K1ABC");
  // Results pointing past the data file and before it: the step happens, the read fails, and
  // the record held (what the window keeps showing) stays the last one read.
  lk.SetResults(std::make_shared<TResultVector>(std::vector<int32_t>{1 << 30, -5}));
  ASSERT_TRUE(lk.SelectResults());
  EXPECT_FALSE(lk.LoadCurrent());
  EXPECT_TRUE(lk.MoveBy(1));
  EXPECT_FALSE(lk.LoadCurrent());
  EXPECT_EQ(lk.Position(), 2);
  EXPECT_EQ(MakeEntryView(lk.Record()).call, "K1ABC");
  EXPECT_NE(lk.LoadedRef(), lk.CurrentRef());

  // The list view's International rows.
  lk.SetListOrder(0);
  EXPECT_EQ(lk.SortIndex(), oiIntlCall);
  EXPECT_FALSE(lk.InResults());
  std::string call, text;
  ASSERT_TRUE(lk.GetListRow(0, call, text));
  EXPECT_EQ(call, "3D2AG");
  EXPECT_EQ(text, "Antonio Ravai, Suva");
  EXPECT_FALSE(lk.GetListRow(7, call, text));  // past the order, not into the next one
}

// Writes the fixture edition to $TELLMARK_FIXTURE_OUT for the screenshot script (used until the
// default build writes the sample edition).
TEST(FixtureEdition, WritesToTheGivenDirectory) {
  const char* out = std::getenv("TELLMARK_FIXTURE_OUT");
  if (!out || !*out) GTEST_SKIP() << "TELLMARK_FIXTURE_OUT not set";
  fixture::WriteEditionFiles(fixture::Input(), out);
  EXPECT_TRUE(std::filesystem::exists(std::string(out) + "/data/thedata.dat"));
}
