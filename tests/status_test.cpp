// The status of the newer layers, the line and key=value readers and the word splitter.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <string>
#include <vector>

#include "common/UStatus.h"
#include "common/UTextLines.h"
#include "dataset/UCallParts.h"

namespace {

// ---- TStatus ----

struct TFileFailureRow {
  const char* name;
  bool write;
  int err;
  TStatusCode code;
  const char* message;  // written out by hand from the C library's texts
};

class FileFailure : public ::testing::TestWithParam<TFileFailureRow> {};

TEST_P(FileFailure, OneWordingPerFailure) {
  const TFileFailureRow& row = GetParam();
  const TStatus s = row.write ? TStatus::CannotWrite("/tmp/log.adi", row.err)
                              : TStatus::CannotRead("/tmp/log.adi", row.err);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.Code(), row.code);
  EXPECT_EQ(s.OsError(), row.err);
  EXPECT_EQ(s.Message(), row.message);
}

INSTANTIATE_TEST_SUITE_P(
    Status, FileFailure,
    ::testing::Values(TFileFailureRow{"ReadMissing", false, ENOENT, TStatusCode::NotFound,
                                      "cannot read /tmp/log.adi: No such file or directory"},
                      TFileFailureRow{"ReadDenied", false, EACCES, TStatusCode::IOError,
                                      "cannot read /tmp/log.adi: Permission denied"},
                      TFileFailureRow{"ReadIo", false, EIO, TStatusCode::IOError,
                                      "cannot read /tmp/log.adi: Input/output error"},
                      TFileFailureRow{"WriteFull", true, ENOSPC, TStatusCode::IOError,
                                      "cannot write /tmp/log.adi: No space left on device"},
                      TFileFailureRow{"WriteNoFolder", true, ENOENT, TStatusCode::NotFound,
                                      "cannot write /tmp/log.adi: No such file or directory"},
                      TFileFailureRow{"WriteReadOnly", true, EROFS, TStatusCode::IOError,
                                      "cannot write /tmp/log.adi: Read-only file system"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Status, KindsAndContext) {
  EXPECT_TRUE(TStatus().ok());
  EXPECT_TRUE(TStatus::Ok().Message().empty());
  EXPECT_TRUE(TStatus::Corrupt("x").IsCorrupt());
  EXPECT_TRUE(TStatus::NotFound("x").IsNotFound());
  EXPECT_TRUE(TStatus::InvalidArgument("x").IsInvalidArgument());
  const TStatus io = TStatus::IOError("cannot open the port", EADDRINUSE);
  EXPECT_TRUE(io.IsIOError());
  EXPECT_EQ(io.Message(), "cannot open the port: Address already in use");
  EXPECT_EQ(TStatus::CannotRead("a.csv", "line 3: 2 columns").Message(),
            "cannot read a.csv: line 3: 2 columns");
  EXPECT_TRUE(TStatus::CannotRead("a.csv", "line 3: 2 columns").IsCorrupt());
  EXPECT_EQ(TStatus::CannotWrite("con", "a device name").Message(),
            "cannot write con: a device name");
  // Context goes before the message and keeps the kind; ok stays ok and silent.
  const TStatus c = TStatus::Corrupt("bad zone").WithContext("data/entities.tsv line 4");
  EXPECT_EQ(c.Message(), "data/entities.tsv line 4: bad zone");
  EXPECT_TRUE(c.IsCorrupt());
  EXPECT_TRUE(TStatus::Ok().WithContext("x").ok());
  EXPECT_TRUE(TStatus::Ok().WithContext("x").Message().empty());
}

// The older core's codes as statuses: the texts of the run-time error table.
struct TCodeRow {
  int code;
  TStatusCode kind;
  const char* message;
};

class LastErrorAdapter : public ::testing::TestWithParam<TCodeRow> {};

TEST_P(LastErrorAdapter, CodeToStatus) {
  const TStatus s = StatusFromLastError(ShownDataSetName("data\\thedata.dat"), GetParam().code);
  EXPECT_EQ(s.Code(), GetParam().kind);
  EXPECT_EQ(s.Message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Status, LastErrorAdapter,
    ::testing::Values(
        TCodeRow{100, TStatusCode::Corrupt, "cannot read data/thedata.dat: Disk read error"},
        TCodeRow{2, TStatusCode::NotFound, "cannot read data/thedata.dat: File not found"},
        TCodeRow{5, TStatusCode::IOError, "cannot read data/thedata.dat: File access denied"},
        TCodeRow{1002, TStatusCode::IOError, "cannot read data/thedata.dat: Error: 1002"}));

TEST(Status, WriteFailuresOfTheOlderCore) {
  const TStatus full = StatusFromLastError("/tmp/log.adi", 101, TFileAccess::Write);
  EXPECT_TRUE(full.IsIOError());
  EXPECT_EQ(full.Message(), "cannot write /tmp/log.adi: Disk write error");
  EXPECT_EQ(StatusFromLastError("/tmp/x", 150, TFileAccess::Write).Message(),
            "cannot write /tmp/x: Disk is write protected");
  // A failure without a reason of its own.
  EXPECT_EQ(TStatus::CannotWrite("the log to standard output", "").Message(),
            "cannot write the log to standard output");
}

TEST(Status, DataSetNamesShownWithSlashes) {
  EXPECT_EQ(ShownDataSetName("data\\thedata.dat"), "data/thedata.dat");
  EXPECT_EQ(ShownDataSetName("data\\words\\us.idx"), "data/words/us.idx");
  EXPECT_EQ(ShownDataSetName("data/entities.tsv"), "data/entities.tsv");
}

TEST(Status, ResultHoldsValueOrStatus) {
  TResult<std::string> good(std::string("K5DRC"));
  ASSERT_TRUE(good.ok());
  EXPECT_EQ(*good, "K5DRC");
  EXPECT_EQ(good->size(), 5u);
  EXPECT_TRUE(good.Status().ok());
  TResult<std::string> bad(TStatus::Corrupt("cannot read x: Disk read error"));
  EXPECT_FALSE(bad.ok());
  EXPECT_EQ(bad.Status().Message(), "cannot read x: Disk read error");
  // Asking a failed result for its value, or making a result of an ok status without a value,
  // is a broken contract.
  EXPECT_THROW((void)bad.Value(), std::logic_error);
  EXPECT_THROW(TResult<int>{TStatus::Ok()}, std::logic_error);
  const EStatusError e(TStatus::NotFound("no such order"));
  EXPECT_STREQ(e.what(), "no such order");
  EXPECT_TRUE(e.Status().IsNotFound());
}

// ---- lines ----

struct TLinesRow {
  const char* name;
  std::string text;
  std::vector<std::string> lines;
};

class Lines : public ::testing::TestWithParam<TLinesRow> {};

TEST_P(Lines, SplitDropsTheCarriageReturn) {
  const TLinesRow& row = GetParam();
  std::vector<std::string> got;
  for (std::string_view l : SplitLines(row.text)) got.emplace_back(l);
  EXPECT_EQ(got, row.lines);
  // The stream reader gives the same lines.
  std::istringstream in(row.text);
  got.clear();
  for (std::string l; ReadLine(in, l);) got.push_back(l);
  EXPECT_EQ(got, row.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Lines,
    ::testing::Values(TLinesRow{"Empty", "", {}}, TLinesRow{"OneWithoutEnd", "K5DRC", {"K5DRC"}},
                      TLinesRow{"OneWithEnd", "K5DRC\n", {"K5DRC"}},
                      TLinesRow{"Crlf",
                                "ETag: \"a\"\r\nLast-Modified: x\r\n",
                                {"ETag: \"a\"", "Last-Modified: x"}},
                      TLinesRow{"Mixed", "a\r\nb\nc\r", {"a", "b", "c"}},
                      TLinesRow{"BlankLinesKept", "a\n\n\r\nb", {"a", "", "", "b"}},
                      TLinesRow{"InnerCrKept", "a\rb\n", {"a\rb"}},
                      TLinesRow{"OnlyEnds", "\n\n", {"", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Text, LineNumbersCountEveryLine) {
  TLineReader r("a\r\n\r\nc");
  std::string_view l;
  ASSERT_TRUE(r.Next(l));
  EXPECT_EQ(r.LineNumber(), 1);
  ASSERT_TRUE(r.Next(l));
  EXPECT_EQ(l, "");
  ASSERT_TRUE(r.Next(l));
  EXPECT_EQ(l, "c");
  EXPECT_EQ(r.LineNumber(), 3);
  EXPECT_FALSE(r.Next(l));
}

TEST(Text, IniLines) {
  const std::string text =
      "; comment\r\n"
      "[Build]\r\n"
      "  Program = tellmark-build 1.2.0  \r\n"
      "\r\n"
      "# another comment\n"
      "Option=--intl=0\n"
      "junk\n"
      "[ Edition ]\n"
      "Title=Sample=1\n";
  const std::vector<TIniLine> l = ReadIniLines(text);
  ASSERT_EQ(l.size(), 6u);
  EXPECT_TRUE(l[0].section);
  EXPECT_EQ(l[0].name, "Build");
  EXPECT_EQ(l[0].number, 2);
  EXPECT_TRUE(l[1].pair);
  EXPECT_EQ(l[1].key, "Program");
  EXPECT_EQ(l[1].value, "tellmark-build 1.2.0");
  EXPECT_EQ(l[1].number, 3);
  EXPECT_EQ(l[2].key, "Option");
  EXPECT_EQ(l[2].value, "--intl=0");  // the first "=" ends the key
  EXPECT_FALSE(l[3].pair);
  EXPECT_FALSE(l[3].section);
  EXPECT_EQ(l[3].text, "junk");
  EXPECT_EQ(l[3].number, 7);
  EXPECT_EQ(l[4].name, "Edition");
  EXPECT_EQ(l[5].value, "Sample=1");
}

struct TWordsRow {
  const char* text;
  std::vector<std::string> words;
};

class Words : public ::testing::TestWithParam<TWordsRow> {};

TEST_P(Words, SplitAtBlanks) { EXPECT_EQ(SplitWords(GetParam().text), GetParam().words); }

INSTANTIATE_TEST_SUITE_P(
    Text, Words,
    ::testing::Values(TWordsRow{"", {}}, TWordsRow{"   ", {}}, TWordsRow{"boston", {"boston"}},
                      TWordsRow{" city=boston  smith ", {"city=boston", "smith"}},
                      TWordsRow{"SAINT JEAN", {"SAINT", "JEAN"}}, TWordsRow{"a\tb", {"a\tb"}}));

// The cells of a tab-separated row: empty cells keep their place (a column that is left blank).
struct TFieldsRow {
  const char* text;
  char sep;
  std::vector<std::string> fields;
};

class Fields : public ::testing::TestWithParam<TFieldsRow> {};

TEST_P(Fields, SplitAtSeparators) {
  EXPECT_EQ(SplitFields(GetParam().text, GetParam().sep), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(Rows, Fields,
                         ::testing::Values(TFieldsRow{"", '\t', {""}}, TFieldsRow{"a", '\t', {"a"}},
                                           TFieldsRow{"a\t\tb", '\t', {"a", "", "b"}},
                                           TFieldsRow{"\ta\t", '\t', {"", "a", ""}},
                                           TFieldsRow{"K1 A|W2 B", '|', {"K1 A", "W2 B"}},
                                           TFieldsRow{"a b\tc", '\t', {"a b", "c"}}));

// U.S. calls begin with A, K, N or W (the ITU's allocation of those prefixes to the U.S.).
struct TUSRow {
  const char* call;
  bool us;
};

class USCalls : public ::testing::TestWithParam<TUSRow> {};

TEST_P(USCalls, BeginsAsUSCall) { EXPECT_EQ(BeginsAsUSCall(GetParam().call), GetParam().us); }

INSTANTIATE_TEST_SUITE_P(CallParts, USCalls,
                         ::testing::Values(TUSRow{"k5drc", true}, TUSRow{"K5DRC", true},
                                           TUSRow{"w1aw", true}, TUSRow{"n0ax", true},
                                           TUSRow{"aa1a", true}, TUSRow{"ve3abc", false},
                                           TUSRow{"dl1abc", false}, TUSRow{"g3abc", false},
                                           TUSRow{"0", false}, TUSRow{"", false}));

}  // namespace
