#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "terminal/KeyParser.h"

namespace {

struct TKeys {
  bool Right, Left, Escape;
  friend bool operator==(const TKeys&, const TKeys&) = default;
};

TKeys Take(TKeyParser& Parser) {
  TKeys Keys;
  Keys.Right = Parser.Take(TKey::Right);
  Keys.Left = Parser.Take(TKey::Left);
  Keys.Escape = Parser.Take(TKey::Escape);
  return Keys;
}

void Feed(TKeyParser& Parser, const std::string& Bytes, int64_t Ms) {
  for (char C : Bytes) Parser.Add(uint8_t(C), Ms);
}

TEST(KeyParserTest, ArrowsInBothForms) {
  struct TCase {
    const char* Bytes;
    TKeys Want;
  } Cases[] = {
      {"\x1b[C", {true, false, false}}, {"\x1bOC", {true, false, false}},
      {"\x1b[D", {false, true, false}}, {"\x1bOD", {false, true, false}},
      {"\x1b[C\x1b[D", {true, true, false}},  // joined in one read
      {"\x1b[A\x1b[B", {false, false, false}},
  };
  for (const auto& Case : Cases) {
    TKeyParser Parser;
    Feed(Parser, Case.Bytes, 0);
    Parser.Timeout(1000);
    EXPECT_EQ(Take(Parser), Case.Want) << Case.Bytes + 1;
  }
}

TEST(KeyParserTest, SequenceSplitAcrossReadsIsOneKey) {
  TKeyParser Parser;
  Feed(Parser, "\x1b", 0);
  Parser.Timeout(10);
  EXPECT_EQ(Take(Parser), (TKeys{false, false, false}));
  Feed(Parser, "[", 12);
  Parser.Timeout(100);  // inside a sequence the ESC timeout no longer applies
  Feed(Parser, "C", 101);
  EXPECT_EQ(Take(Parser), (TKeys{true, false, false}));
}

TEST(KeyParserTest, LoneEscapeNeedsThirtyQuietMilliseconds) {
  TKeyParser Parser;
  EXPECT_EQ(Parser.Deadline(), std::nullopt);
  Feed(Parser, "\x1b", 100);
  EXPECT_EQ(Parser.Deadline(), 130);
  Parser.Timeout(129);
  EXPECT_FALSE(Parser.Take(TKey::Escape));
  Parser.Timeout(130);
  EXPECT_TRUE(Parser.Take(TKey::Escape));
  EXPECT_FALSE(Parser.Take(TKey::Escape));  // reported once
  EXPECT_EQ(Parser.Deadline(), std::nullopt);

  Feed(Parser, "\x1b\x1b", 200);  // pressed twice quickly
  Parser.Timeout(300);
  EXPECT_TRUE(Parser.Take(TKey::Escape));
}

TEST(KeyParserTest, OtherInputIsIgnoredWholeSequencesIncluded) {
  TKeyParser Parser;
  // Ctrl-Right, a function key, Alt-x, plain letters, a mouse report with a C inside it.
  Feed(Parser, "\x1b[1;5C\x1b[15~\x1bxabcC D\x1b[<0;12;5M", 0);
  Parser.Timeout(1000);
  EXPECT_EQ(Take(Parser), (TKeys{false, false, false}));
  // A control byte inside a sequence abandons it and is read afresh.
  Feed(Parser, "\x1b[1\x1b[D", 2000);
  EXPECT_EQ(Take(Parser), (TKeys{false, true, false}));
}

TEST(KeyParserTest, KeysAccumulateUntilTaken) {
  TKeyParser Parser;
  Feed(Parser, "\x1b[C", 0);
  Feed(Parser, "\x1b[C", 5);
  EXPECT_TRUE(Parser.Take(TKey::Right));
  EXPECT_FALSE(Parser.Take(TKey::Right));
  EXPECT_FALSE(Parser.Take(TKey::Left));
}


// While the terminal owes answers, a report split in time (ESC in one packet, the rest up to
// AnswerTimeoutMs later) is a report, never Escape; a lone ESC then takes that long to be Escape,
// and the usual 30 ms again once nothing is owed.
TEST(KeyParserTest, ReportSplitInTimeIsNoEscapeWhileAnswersAreOwed) {
  for (int64_t Gap : {int64_t(35), int64_t(200), int64_t(300), TKeyParser::AnswerTimeoutMs - 1}) {
    for (const char* Split : {"\x1b|[0n", "\x1b|[6;16;8t", "\x1b[6|;16;8t", "\x1b[|0n"}) {
      const std::string Report = Split;
      const size_t Bar = Report.find('|');
      TKeyParser Parser;
      Parser.ExpectAnswers(true);
      Feed(Parser, Report.substr(0, Bar), 1000);
      Parser.Timeout(1000 + Gap - 1);
      Feed(Parser, Report.substr(Bar + 1), 1000 + Gap);
      Parser.Timeout(3000);
      const bool Status = Report.back() == 'n';
      EXPECT_EQ(Take(Parser), (TKeys{false, false, false})) << Gap << " " << Split + 1;
      EXPECT_EQ(Parser.TakeStatusReports(), Status ? 1 : 0) << Gap << " " << Split + 1;
      EXPECT_EQ(Parser.TakeCellPixels(), Status ? std::nullopt : std::optional(TCellPixels{8, 16}));
    }
  }
  TKeyParser Parser;
  Parser.ExpectAnswers(true);
  Feed(Parser, "\x1b", 0);
  EXPECT_EQ(Parser.Deadline(), TKeyParser::AnswerTimeoutMs);
  Parser.Timeout(TKeyParser::AnswerTimeoutMs - 1);
  EXPECT_FALSE(Parser.Take(TKey::Escape));
  Parser.Timeout(TKeyParser::AnswerTimeoutMs);
  EXPECT_TRUE(Parser.Take(TKey::Escape));
  // Nothing owed any more: an ESC that waited is Escape at once.
  Feed(Parser, "\x1b", 2000);
  Parser.Timeout(2100);
  EXPECT_FALSE(Parser.Take(TKey::Escape));
  Parser.ExpectAnswers(false);
  EXPECT_EQ(Parser.Deadline(), 2000 + TKeyParser::EscapeTimeoutMs);
  Parser.Timeout(2100);
  EXPECT_TRUE(Parser.Take(TKey::Escape));
}

// A sequence left unfinished is given up once its time is out, and what follows is read afresh:
// Alt+O or Alt+[ must not swallow the next Escape or arrow.
TEST(KeyParserTest, StaleSequenceIsGivenUp) {
  for (const char* Start : {"\x1bO", "\x1b[", "\x1b[1;"}) {
    TKeyParser Parser;
    Feed(Parser, Start, 0);
    EXPECT_EQ(Parser.Deadline(), TKeyParser::SequenceTimeoutMs) << Start + 1;
    Feed(Parser, "\x1b", 1000);  // the reader's thread may not have called Timeout meanwhile
    Parser.Timeout(1030);
    EXPECT_EQ(Take(Parser), (TKeys{false, false, true})) << Start + 1;
    Feed(Parser, Start, 2000);
    Parser.Timeout(2000 + TKeyParser::SequenceTimeoutMs);
    EXPECT_EQ(Parser.Deadline(), std::nullopt);
    Feed(Parser, "\x1b[D", 2300);
    EXPECT_EQ(Take(Parser), (TKeys{false, true, false})) << Start + 1;
    // The rest of an arrow long after its start is a plain letter, whoever calls Timeout.
    Feed(Parser, Start, 3000);
    Feed(Parser, "C", 3000 + TKeyParser::SequenceTimeoutMs);
    EXPECT_EQ(Take(Parser), (TKeys{false, false, false})) << Start + 1;
  }
}

// The terminal's answers mixed with keys and junk, every token split at a random place across two
// reads: each key is pressed once, each good report is counted, and nothing else counts.
TEST(KeyParserTest, ReportsAreTakenOutOfAnyStreamOfKeys) {
  struct TToken {
    std::string Bytes;
    TKeys Keys;
    int Status;
    std::optional<TCellPixels> Cell;
    std::optional<TCursorReport> Cursor = {};
  };
  const std::vector<TToken> Fixed = {
      {"\x1b[C", {true, false, false}, 0, {}},
      {"\x1bOD", {false, true, false}, 0, {}},
      {"\x1b", {false, false, true}, 0, {}},
      {"\x1b[0n", {}, 1, {}},
      // Junk: other keys, other reports, malformed and hostile answers.
      {"x", {}, 0, {}},
      {"\x1b[1;5C", {}, 0, {}},
      {"\x1b[15~", {}, 0, {}},
      {"\x1b[3n", {}, 0, {}},
      {"\x1b[0;0n", {}, 0, {}},
      {"\x1b[?0n", {}, 0, {}},
      {"\x1b[12;40R", {}, 0, {}, TCursorReport{12, 40}},
      {"\x1b[12R", {}, 0, {}},
      {"\x1b[?12;40R", {}, 0, {}},
      {"\x1b[6;0;8t", {}, 0, {}},
      {"\x1b[6;16t", {}, 0, {}},
      {"\x1b[6;16;8;1t", {}, 0, {}},
      {"\x1b[?6;16;8t", {}, 0, {}},
      {"\x1b[6;99999999999;8t", {}, 0, {}},
      {"\x1b[6;16;9000t", {}, 0, {}},
      {"\x1b[4;800;640t", {}, 0, {}},
      {"\x1b[<0;12;5M", {}, 0, {}},
  };
  uint32_t Seed = 12345;
  auto Next = [&](uint32_t Below) {
    Seed = Seed * 1664525u + 1013904223u;
    return (Seed >> 8) % Below;
  };
  TKeyParser Parser;
  int64_t Now = 0;
  for (int Round = 0; Round < 2000; ++Round) {
    TToken Token;
    if (Next(8) == 0) {
      const int Row = int(Next(60)) + 1, Column = int(Next(200)) + 1;
      Token = {"\x1b[" + std::to_string(Row) + ";" + std::to_string(Column) + "R", {}, 0, {},
               TCursorReport{Row, Column}};
    } else if (Next(4) == 0) {
      const int Width = int(Next(40)) + 1, Height = int(Next(40)) + 1;
      Token = {"\x1b[6;" + std::to_string(Height) + ";" + std::to_string(Width) + "t",
               {},
               0,
               TCellPixels{Width, Height}};
    } else {
      Token = Fixed[Next(uint32_t(Fixed.size()))];
    }
    // The two halves of a token up to 20 ms apart; a lone ESC stays whole.
    const size_t Split = Token.Bytes.size() > 1 ? 1 + Next(uint32_t(Token.Bytes.size() - 1)) : 1;
    Feed(Parser, Token.Bytes.substr(0, Split), Now);
    Feed(Parser, Token.Bytes.substr(Split), Now + int64_t(Next(21)));
    Now += 40 + int64_t(Next(100));
    Parser.Timeout(Now);
    ASSERT_EQ(Take(Parser), Token.Keys) << "round " << Round;
    ASSERT_EQ(Parser.TakeStatusReports(), Token.Status) << "round " << Round;
    ASSERT_EQ(Parser.TakeCellPixels(), Token.Cell) << "round " << Round;
    ASSERT_EQ(Parser.TakeCursor(), Token.Cursor) << "round " << Round;
  }
}

}  // namespace
