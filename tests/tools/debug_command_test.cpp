// orva --debug driven through a pipe, as a user types at it: breakpoints
// by line, function and module line, steps, the paused script's calls and
// variables, and a run-time error that stops in the debugger.
#include "tools/command_runner.h"

namespace
{

const char *const kScript = "sub twice(n)\n"
                            "{\n"
                            "   m = n * 2;\n"
                            "   return m;\n"
                            "}\n"
                            "\n"
                            "sub main(limit)\n"
                            "{\n"
                            "   array list;\n"
                            "   total = 0;\n"
                            "   i = 0;\n"
                            "   while (i < limit)\n"
                            "   {\n"
                            "      list[i] = twice(i);\n"
                            "      total = total + list[i];\n"
                            "      i++;\n"
                            "   }\n"
                            "   print \"total \" . total . \"\\n\";\n"
                            "   x = total % (limit - 3);\n"
                            "   return x;\n"
                            "}\n";

TEST_F(OrvaCommand, DebugStopsAtBreakpointsAndShowsThePausedScript)
{
   Script("sum.orva", kScript);
   Outcome o = Run({"--debug", "sum.orva", "2"}, "break twice\nb 15\nb 6\nr\np n\nc\nbt\np n\nfinish\nlocals\n"
                                                 "p list[1]\np list[\"0\"]\np list[7]\np i[0]\np list[0\np nope\n"
                                                 "frame 1\nframe 0\ndelete 1\nc\nn\n\ndelete\nc\nq\n");
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.err, "");
   EXPECT_EQ(o.out, "Debugging sum.orva.  Type \"help\" for the commands, \"run\" to start.\n"
                    "Breakpoint 1 at sum.orva:3\n"
                    "Breakpoint 2 at sum.orva:15\n"
                    "Breakpoint 3 at sum.orva:9\n"   // no code in line 6: main's first line
                    "Breakpoint 3, main () at sum.orva:9\n"
                    "9\t   array list;\n"
                    "No variable \"n\" here.\n"
                    "Breakpoint 1, twice () at sum.orva:3\n"
                    "3\t   m = n * 2;\n"
                    ">#0  twice () at sum.orva:3\n"
                    " #1  main () at sum.orva:14\n"
                    "n = 0\n"
                    "Breakpoint 2, main () at sum.orva:15\n"   // finish: the caller's next line
                    "15\t      total = total + list[i];\n"
                    "$1 = 2\n"
                    "limit = 2\n"
                    "list = [0: 0]\n"
                    "total = 0\n"
                    "i = 0\n"
                    "No element list[1].\n"
                    "list[\"0\"] = 0\n"
                    "No element list[7].\n"
                    "i is not an array.\n"
                    "Cannot read \"[0\": write elements as [3] or [\"k\"].\n"
                    "No variable \"nope\" here.\n"
                    "No frame \"1\": the backtrace numbers them from 0 to 0.\n"
                    "#0  main () at sum.orva:15\n"
                    "15\t      total = total + list[i];\n"
                    "Breakpoint 1 deleted.\n"
                    "Breakpoint 2, main () at sum.orva:15\n"
                    "15\t      total = total + list[i];\n"
                    "16\t      i++;\n"
                    "17\t   }\n"   // the empty line repeats next
                    "All breakpoints deleted.\n"
                    "total 2\n"
                    "[The run completed with status 0.]\n");
}

TEST_F(OrvaCommand, DebugStepsIntoAModuleAndStopsAtARunTimeError)
{
   Script("sum.orva", std::string("use Helpers;\n") + kScript);
   Script("helpers.orva", "sub half(v)\n{\n   return v / 2;\n}\n");
   // Line numbers of sum.orva moved down by one with the use line.
   Outcome o = Run({"--debug", "-m", "Helpers=helpers.orva", "sum.orva", "3"},
                   "b Helpers:1\nb nothing\nb 99\nbt\nrun\nbt\np total\nn\nq\n");
   // No call of half: the module breakpoint never stops; the error does.
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "Debugging sum.orva.  Type \"help\" for the commands, \"run\" to start.\n"
                    "Breakpoint 1 at Helpers:3\n"
                    "No code at \"nothing\" in sum.orva.\n"
                    "No code at \"99\" in sum.orva.\n"
                    "The script is not running.\n"
                    "total 6\n"
                    "Run-time error in main () at sum.orva:20: Divide by zero\n"
                    "20\t   x = total % (limit - 3);\n"
                    "The run ends when you go on.\n"
                    ">#0  main () at sum.orva:20\n"
                    "total = 6\n"
                    "[The run failed.]\n")
      << o.err;
   EXPECT_TRUE(Contains(o.err, "sum.orva:20: error 9: Divide by zero")) << o.err;

   // Stepping from the entry of the run into a function of the module.
   Script("calls.orva", "use Helpers;\nsub main()\n{\n   h = half(8);\n   return h;\n}\n");
   o = Run({"--debug", "-m", "Helpers=helpers.orva", "calls.orva"}, "b 4\nrun\ns\nbt\nn\nn\nq\n");
   EXPECT_EQ(o.out, "Debugging calls.orva.  Type \"help\" for the commands, \"run\" to start.\n"
                    "Breakpoint 1 at calls.orva:4\n"
                    "Breakpoint 1, main () at calls.orva:4\n"
                    "4\t   h = half(8);\n"
                    "half () at Helpers:3\n"
                    ">#0  half () at Helpers:3\n"
                    " #1  main () at calls.orva:4\n"
                    "main () at calls.orva:5\n"
                    "5\t   return h;\n"
                    "[The run completed with status 0.]\n")
      << o.err;
}

TEST_F(OrvaCommand, DebugShowsTextKeysAtLevel2)
{
   // Paths take keys as level-2 scripts do: "007" is a text key, "7" the
   // element 7; arrays print their text keys after their integer ones.
   Script("tally.orva", "sub main()\n{\n   hits = {\"10.0.0.1\": 2, \"007\": 3};\n   hits[7] = 1;\n"
                        "   return count(hits);\n}\n");
   Outcome o = Run({"--language", "2", "--debug", "tally.orva"},
                   "b 5\nr\np hits\np hits[\"10.0.0.1\"]\np hits[ \"007\" ]\np hits[\"7\"]\np hits[07]\n"
                   "p hits[\"8\"]\np hits[\"x\"][1]\nq\n");
   EXPECT_EQ(o.out, "Debugging tally.orva.  Type \"help\" for the commands, \"run\" to start.\n"
                    "Breakpoint 1 at tally.orva:5\n"
                    "Breakpoint 1, main () at tally.orva:5\n"
                    "5\t   return count(hits);\n"
                    "hits = [7: 1, \"10.0.0.1\": 2, \"007\": 3]\n"
                    "hits[\"10.0.0.1\"] = 2\n"
                    "hits[ \"007\" ] = 3\n"
                    "hits[\"7\"] = 1\n"
                    "hits[07] = 1\n"
                    "No element hits[\"8\"].\n"
                    "No element hits[\"x\"].\n")
      << o.err;
}

TEST_F(OrvaCommand, DebugNeedsAScriptFile)
{
   Outcome o = Run({"--debug", "-e", "1 + 1"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "--debug needs a SCRIPT file")) << o.err;
   o = Run({"--debug"}, "q\n");
   EXPECT_EQ(o.status, 2);
   Script("bad.orva", "sub main(\n");
   o = Run({"--debug", "bad.orva"}, "q\n");
   EXPECT_EQ(o.status, 3);
   EXPECT_EQ(o.out, "");
}

}
