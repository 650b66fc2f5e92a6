/*
 * Patterns that outlive a run: a handler called run after run compiles its
 * patterns once and still finds the right groups, a pattern made at run
 * time keeps one entry per match instruction, and the limits of a later
 * run still weigh its matches.  Every case runs with and without the fast
 * paths.
 */
#include "vm/engine.h"
#include "both_paths.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

class PatternCacheTest : public BothPaths
{
protected:
   std::unique_ptr<ORVA_Program> Compile(const char *source) { return std::unique_ptr<ORVA_Program>(Prepared(source)); }

   // The result of on_event(text), or the error text.
   static std::string Call(ORVA_Program *program, const std::string &text, ORVA_Environment *env = nullptr)
   {
      ORVA_Value *argv[1] = {new ORVA_Value(text.c_str())};
      if (program->RunFunction(env != nullptr ? env : new ORVA_Environment(), "on_event", 1, argv, nullptr,
                               nullptr) != 0)
         return program->GetErrorText();
      return program->GetResult()->GetValueAsCString();
   }

   static const ORVA_PatternCache &Patterns(ORVA_Program *program) { return ORVA_Engine::Of(program)->Patterns(); }
};

const char *const kHandler =
   "sub on_event(line)\n{\n"
   "   if (line match \"^([a-z]+)=([0-9]+)$\")\n      return $2 . \":\" . $1;\n"
   "   if (line imatch \"^warn (.*)\")\n      return \"w:\" . $1;\n"
   "   return \"-\";\n}\n";

TEST_P(PatternCacheTest, AHandlerCompilesItsPatternsOnceAndFindsTheGroupsOfEveryRun)
{
   auto program = Compile(kHandler);
   ASSERT_NE(program, nullptr);
   const struct
   {
      const char *line;
      const char *expected;
   } events[] = {
      {"count=12", "12:count"}, {"WARN disk full", "w:disk full"}, {"nothing", "-"},
      {"size=7", "7:size"},     {"Warn x", "w:x"},                 {"=1", "-"},
   };
   for (int round = 0; round < 3; round++)
      for (const auto &event : events)
         EXPECT_EQ(Call(program.get(), event.line), event.expected) << event.line;
   EXPECT_EQ(Patterns(program.get()).Count(), 2u);
   EXPECT_EQ(Patterns(program.get()).Kept(), 2u);
}

TEST_P(PatternCacheTest, PatternsMadeAtRunTimeKeepOneEntryAnInstruction)
{
   auto program = Compile("sub on_event(n)\n{\n   hits = 0;\n   i = 0;\n   while (i < n)\n   {\n"
                          "      if ((\"k\" . i) match (\"^k\" . i . \"$\"))\n         hits++;\n      i++;\n   }\n"
                          "   return hits;\n}\n");
   ASSERT_NE(program, nullptr);
   EXPECT_EQ(Call(program.get(), "200"), "200");
   EXPECT_EQ(Call(program.get(), "50"), "50");
   EXPECT_EQ(Patterns(program.get()).Count(), 1u);
   EXPECT_EQ(Patterns(program.get()).Kept(), 250u);
}

TEST_P(PatternCacheTest, ALaterRunStillWeighsItsMatchesAgainstItsLimits)
{
   auto program = Compile("sub on_event(s)\n{\n   if (s match \"^(a|b|ab)*c$\") return 1;\n   return 0;\n}\n");
   ASSERT_NE(program, nullptr);
   EXPECT_EQ(Call(program.get(), "ababc"), "1");
   // The pattern is kept; a long subject under a small limit is refused
   // all the same, before the matcher starts.
   ORVA_Environment *env = new ORVA_Environment();
   env->SetInstructionLimit(5000);
   const std::string text = Call(program.get(), std::string(20000, 'a'), env);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_INSTRUCTIONS) << text;
   EXPECT_EQ(Call(program.get(), "abc"), "1");
   EXPECT_EQ(Patterns(program.get()).Kept(), 1u);

   // A small memory ceiling: the kept pattern costs the run nothing, the
   // states its match may add still count.
   env = new ORVA_Environment();
   env->SetMemoryLimit(64 * 1024);
   EXPECT_EQ(Call(program.get(), "abababc", env), "1");
}

INSTANTIATE_TEST_SUITE_P(Paths, PatternCacheTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                            return info.param ? std::string("GeneralOnly") : std::string("FastPaths");
                         });

}   // namespace
