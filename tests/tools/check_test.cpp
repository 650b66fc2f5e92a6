// orva -c: the checks that find, without a run, what would fail when its
// line runs, and the project's own scripts, which must pass them silently.
#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, CheckFindsCallsThatCannotWork)
{
   Script("calls.orva", "sub twice(x) { return x * 2; }\n"
                        "sub main()\n{\n"
                        "   prnt(\"a\");\n"
                        "   x = substr(\"abc\");\n"
                        "   y = twice(1, 2);\n"
                        "   z = length(\"ok\") + twice(3) + max(1, 2, 3) + format(\"%d\", 1);\n"
                        "   println x . y . z;\n}\n");
   for (const char *option : {"-c", "--check"})
   {
      Outcome o = Run({option, "calls.orva"});
      EXPECT_EQ(o.status, 0) << option;
      EXPECT_EQ(o.out, "");
      EXPECT_EQ(o.err, "calls.orva:4: warning: call of `prnt`, a function that is defined nowhere; did you mean "
                       "`print`?\n"
                       "calls.orva:5: warning: `substr` takes 2 or 3 arguments, not 1\n"
                       "calls.orva:6: warning: `twice` takes at most 1 argument, not 2\n")
         << option;
   }
   Outcome strict = Run({"-c", "--strict", "calls.orva"});
   EXPECT_EQ(strict.status, 5);
   EXPECT_TRUE(Contains(strict.err, "warning: call of `prnt`"));
   // An expression script, from -e or a file, is checked as well.
   EXPECT_EQ(Run({"-c", "-e", "prnt(1) + substr(\"a\")"}).err,
             "(command line):1: warning: call of `prnt`, a function that is defined nowhere; did you mean "
             "`print`?\n"
             "(command line):1: warning: `substr` takes 2 or 3 arguments, not 1\n");
   EXPECT_EQ(Run({"-c", "-e", "x = 1; println x;"}).err, "");
   // --strict belongs to the check.
   EXPECT_EQ(Run({"--strict", "calls.orva"}).status, 2);
}

TEST_F(OrvaCommand, CheckKnowsEveryPlaceAFunctionMayComeFrom)
{
   // Modules on the search path, -m modules, the extension functions and
   // the command's own; a function that reads $N takes any number.
   fs::create_directories(m_dir / "lib");
   Script("lib/tools.orva", "sub shout(t) { return upper(t); }\nsub all() { return $1 . $2 . $3; }\n");
   Script("held.orva", "sub held() { return 1; }\n");
   Script("uses.orva", "use tools;\nuse kept;\n"
                       "sub main()\n{\n"
                       "   println shout(\"a\") . all(1, 2, 3) . held() . sqrt(4) . argc();\n"
                       "   exitstatus(0);\n}\n");
   Outcome o = Run({"-c", "-L", "lib", "-m", "kept=held.orva", "uses.orva"});
   EXPECT_EQ(o.err, "");
   EXPECT_EQ(o.status, 0);

   // A module that is not there hides which functions exist: its use is the
   // one warning, not each call.
   o = Run({"-c", "-m", "kept=held.orva", "uses.orva"});
   EXPECT_EQ(o.err, "uses.orva:1: warning: module `tools` is not found where the command looks for modules\n");
   Script("lib/bad.orva", "sub broken( {\n");
   Script("usesbad.orva", "use bad;\nsub main() { }\n");
   EXPECT_EQ(Run({"-c", "-L", "lib", "usesbad.orva"}).err,
             "usesbad.orva:1: warning: module `bad` (lib/bad.orva) does not compile\n");
}

TEST_F(OrvaCommand, CheckFindsVariablesNeverAssignedAndUnreachableCode)
{
   Script("vars.orva", "sub f(a, b)\n{\n"
                       "   array list;\n"
                       "   list[1] = a;\n"
                       "   n++;\n"
                       "   if (b) return n . list[1];\n"
                       "   total = totl + 1;\n"
                       "   return total;\n"
                       "   println \"never\";\n}\n"
                       "sub main()\n{\n"
                       "   while (1) { if (f(1, 2)) break; }\n"
                       "   switch (limit) { case 1: return 1; break; case 2: break; default: exit; }\n"
                       "   println \"end\";\n}\n");
   Outcome o = Run({"-c", "vars.orva"});
   EXPECT_EQ(o.err, "vars.orva:7: warning: `totl` is read but never assigned in f(), so it is null\n"
                    "vars.orva:9: warning: unreachable code after return in f()\n"
                    "vars.orva:14: warning: `limit` is read but never assigned in main(), so it is null\n");
   // A global given with -D is assigned by the host.
   o = Run({"-c", "-D", "limit=2", "vars.orva"});
   EXPECT_FALSE(Contains(o.err, "limit"));
}

TEST_F(OrvaCommand, CheckTellsNamesFromKeywordsAndReportsEachNameOnce)
{
   // Names that begin as keywords do, a keyword's other spelling, and
   // operators of two characters next to names.
   Script("names.orva", "sub doit(subtotal)\n{\n"
                        "   Null = subtotal; inx = 1; whilex = 2;\n"
                        "   printlnx = Null . inx . whilex . later;\n"
                        "   if (inx <= 2 && Null != 1 || inx ~= \"a\" || inx->size) return later . printlnx;\n"
                        "   return imatchy . dox;\n}\n"
                        "sub main() { return doit(1); }\n");
   EXPECT_EQ(Run({"-c", "names.orva"}).err,
             "names.orva:4: warning: `later` is read but never assigned in doit(), so it is null\n"
             "names.orva:6: warning: `imatchy` is read but never assigned in doit(), so it is null\n"
             "names.orva:6: warning: `dox` is read but never assigned in doit(), so it is null\n");

   // Level 2: an update in place and the variables of a walk assign.
   Script("walk.orva", "sub main()\n{\n   array list; list[1] = 2;\n"
                       "   for (k, v in list) { total += v; n++; }\n"
                       "   for (key in list) total .= key;\n"
                       "   return total . n . k . key . missing;\n}\n");
   EXPECT_EQ(Run({"-c", "--language", "2", "walk.orva"}).err,
             "walk.orva:6: warning: `missing` is read but never assigned in main(), so it is null\n");
}

TEST_F(OrvaCommand, CheckFindsTheFaultsOfALargeScriptOnTheirLines)
{
   // Thousands of functions, each calling the one before: one wrong call
   // and one unassigned read, far apart, are all the check may say.
   const int functions = 3000;
   std::string text;
   for (int k = 0; k < functions; k++)
   {
      const std::string callee = k == 0 ? "a" : "f" + std::to_string(k - 1) + (k == 1234 ? "(b, a, 1)" : "(b, a)");
      text += "sub f" + std::to_string(k) + "(a, b)\n{\n   x = a * 2 + b;\n   if (x > 100)\n      x = x - " + callee +
              ";\n   return x" + (k == functions - 1 ? " + y" : "") + ";\n}\n";
   }
   Script("large.orva", text);
   Outcome o = Run({"-c", "large.orva"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.err, "large.orva:" + std::to_string(1234 * 7 + 5) + ": warning: `f1233` takes at most 2 arguments, not 3\n" +
                       "large.orva:" + std::to_string((functions - 1) * 7 + 6) +
                       ": warning: `y` is read but never assigned in f" + std::to_string(functions - 1) + "(), so it is null\n");
}

TEST_F(OrvaCommand, CheckIsSilentOnTheProjectsOwnScripts)
{
   // Examples, benchmarks and the script tests that are meant to work.
   const fs::path source = ORVA_SOURCE_DIR;
   std::vector<fs::path> scripts;
   for (const char *dir : {"examples", "bench/programs", "tests/scripts/modules"})
      for (const auto &entry : fs::directory_iterator(source / dir))
         if (entry.path().extension() == ".orva" && entry.path().filename() != "broken.orva")
            scripts.push_back(entry.path());
   for (const auto &entry : fs::directory_iterator(source / "tests/scripts/cases"))
   {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() == ".orva" && name.compare(0, 6, "error_") != 0 &&
          name.compare(0, 8, "compile_") != 0 && name.compare(0, 4, "null") != 0 && name != "globals.orva" &&
          name != "exit_statement.orva" && name != "unterminated_string.orva" &&
          name.compare(0, 8, "modules_") != 0)
         scripts.push_back(entry.path());
   }
   ASSERT_GT(scripts.size(), 40u);
   for (const fs::path &script : scripts)
   {
      // Level-2 modules and programs are checked at their level.
      const std::string name = script.filename().string();
      const bool level2 = name.compare(0, 7, "level2_") == 0 || name == "hosttally.orva" || name == "wordcount2.orva";
      Outcome o = level2 ? Run({"-c", "--strict", "--language", "2", script.string()})
                         : Run({"-c", "--strict", script.string()});
      EXPECT_EQ(o.status, 0) << script;
      EXPECT_EQ(o.err, "") << script;
   }
   // The level-2 script tests that are meant to work, at level 2.
   for (const char *name : {"c_for.orva", "coalesce_logic.orva", "for_in_changes.orva", "for_in_order.orva",
                            "in_place.orva", "literals.orva", "text_keys.orva"})
   {
      Outcome o = Run({"-c", "--strict", "--language", "2", (source / "tests/scripts/level2" / name).string()});
      EXPECT_EQ(o.err, "") << name;
   }
   // The module cases pass once the modules are where the tests put them.
   const std::string modules = (source / "tests/scripts/modules").string();
   for (const char *name : {"modules_from_file.orva"})
   {
      fs::path script = source / "tests/scripts/cases" / name;
      Outcome o = Run({"-c", "--strict", "-L", modules, script.string()});
      EXPECT_EQ(o.err, "") << script;
   }
}

}
