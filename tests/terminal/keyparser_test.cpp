#include <gtest/gtest.h>

#include <string>

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
  EXPECT_EQ(Parser.EscapeDeadline(), std::nullopt);
  Feed(Parser, "\x1b", 100);
  EXPECT_EQ(Parser.EscapeDeadline(), 130);
  Parser.Timeout(129);
  EXPECT_FALSE(Parser.Take(TKey::Escape));
  Parser.Timeout(130);
  EXPECT_TRUE(Parser.Take(TKey::Escape));
  EXPECT_FALSE(Parser.Take(TKey::Escape));  // reported once
  EXPECT_EQ(Parser.EscapeDeadline(), std::nullopt);

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

}  // namespace
