// The bounds a match is weighed by: patterns that match in one way keep few
// DFA states whatever their length, ambiguous ones may have exponentially
// many, and the starts tried follow what the matcher skips.
#include "support/regex_cost.h"

#include <gtest/gtest.h>

#include <string>

TEST(RegexCost, StatesStayFewForPatternsThatMatchOneWay)
{
   // A literal, a date and fixed counts: one position live at a time.
   EXPECT_LE(MeasureRegex("connection refused by host").states, 4 * 30);
   EXPECT_LE(MeasureRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}").states, 4 * 12);
   // Literals after a star add a state each; classes there double them.
   EXPECT_LE(MeasureRegex("error.*timeout").states, 4 * 30);
   const ORVA_RegexShape blowup = MeasureRegex("[ab]*a[ab]{18}c");
   EXPECT_GE(blowup.states, 1 << 19);
   EXPECT_TRUE(blowup.unbounded);
   EXPECT_EQ(blowup.positions, 21);
   // An alternation anywhere makes every position ambiguous.
   EXPECT_GT(MeasureRegex("[0-9]{12}|x").states, MeasureRegex("[0-9]{12}x").states);
}

TEST(RegexCost, StartsAndReachFollowTheMatcher)
{
   const std::string subject = "xxaxxaxxa";
   const ORVA_RegexShape anchored = MeasureRegex("^ab*");
   EXPECT_TRUE(anchored.anchored);
   EXPECT_EQ(RegexStarts(anchored, subject.data(), subject.size(), false), 1);
   EXPECT_FALSE(MeasureRegex("^a|b").anchored);

   // Only the bytes a match starts with are tried, both cases when ignoring case.
   const ORVA_RegexShape literal = MeasureRegex("a.*z");
   EXPECT_EQ(literal.firstByte, 'a');
   EXPECT_EQ(RegexStarts(literal, subject.data(), subject.size(), false), 4);
   EXPECT_EQ(RegexStarts(literal, "AaA", 3, true), 4);
   EXPECT_EQ(MeasureRegex("a*z").firstByte, -1);
   EXPECT_EQ(MeasureRegex("(a)z").firstByte, -1);

   // Without unbounded repetition a scan ends within the pattern's reach;
   // with it, it may go on to the end of the subject.
   EXPECT_LE(RegexSteps(MeasureRegex("abc"), 1000001, 1000000), 1000001.0 * 13);
   EXPECT_GE(RegexSteps(MeasureRegex("a.*c"), 1000001, 1000000), 1e12);
   EXPECT_TRUE(MeasureRegex("x{2,}").unbounded);
   EXPECT_FALSE(MeasureRegex("x{2,5}").unbounded);
   EXPECT_TRUE(MeasureRegex("(a)\\1").backReference);
}
