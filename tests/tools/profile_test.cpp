// orva --profile: the table on standard error, folded stacks and a flame
// graph that any XML reader takes, and a run whose output and status stay
// what they are without the profile.
#include "command_runner.h"

#include <cctype>
#include <map>
#include <set>

namespace
{

const char kNested[] =
   "sub leaf(n) { s = 0; while (n-- > 0) s = s + n; return s; }\n"
   "sub branch(k) { return leaf(k) + leaf(k + 1); }\n"
   "sub main() {\n"
   "   i = 0;\n"
   "   while (i < 4) { println branch(i * 50); i++; }\n"
   "   println leaf(300);\n"
   "}\n";

// Whether text is well-formed XML as far as a flame graph uses it: one root
// element, tags that nest and close, quoted attributes, and no markup
// character outside markup except in an entity.  The names of the
// elements met go into names, in order.
bool WellFormed(const std::string &text, std::vector<std::string> *names, std::string *why)
{
   auto entityAt = [&text](size_t at) {
      static const char *const known[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
      for (const char *entity : known)
         if (text.compare(at, strlen(entity), entity) == 0)
            return strlen(entity);
      return static_cast<size_t>(0);
   };
   std::vector<std::string> open;
   bool rootSeen = false;
   size_t i = 0;
   if (text.compare(0, 5, "<?xml") == 0)
      i = text.find("?>") + 2;
   while (i < text.size())
   {
      const char c = text[i];
      if (c == '&')
      {
         const size_t length = entityAt(i);
         if (length == 0)
            return *why = "a bare & at " + std::to_string(i), false;
         i += length;
         continue;
      }
      if (c == '>')
         return *why = "a bare > at " + std::to_string(i), false;
      if (c != '<')
      {
         if (open.empty() && !isspace(static_cast<unsigned char>(c)))
            return *why = "text outside the root at " + std::to_string(i), false;
         i++;
         continue;
      }
      const bool closing = text[i + 1] == '/';
      size_t at = i + (closing ? 2 : 1);
      const size_t nameStart = at;
      while (at < text.size() && (isalnum(static_cast<unsigned char>(text[at])) || text[at] == '-' || text[at] == ':'))
         at++;
      const std::string name = text.substr(nameStart, at - nameStart);
      if (name.empty())
         return *why = "a tag without a name at " + std::to_string(i), false;
      if (closing)
      {
         if (open.empty() || open.back() != name || text[at] != '>')
            return *why = "</" + name + "> closes nothing open", false;
         open.pop_back();
         i = at + 1;
         continue;
      }
      if (open.empty() && rootSeen)
         return *why = "a second root element", false;
      rootSeen = true;
      names->push_back(name);
      // Attributes: NAME="VALUE" with no markup in the value.
      std::set<std::string> attributes;
      for (;;)
      {
         while (at < text.size() && isspace(static_cast<unsigned char>(text[at])))
            at++;
         if (at >= text.size())
            return *why = "<" + name + " never ends", false;
         if (text[at] == '>' || text.compare(at, 2, "/>") == 0)
            break;
         const size_t attributeStart = at;
         while (at < text.size() && text[at] != '=' && !isspace(static_cast<unsigned char>(text[at])))
            at++;
         const std::string attribute = text.substr(attributeStart, at - attributeStart);
         if (!attributes.insert(attribute).second || text.compare(at, 2, "=\"") != 0)
            return *why = "attribute " + attribute + " of <" + name + "> is repeated or unquoted", false;
         at += 2;
         for (; at < text.size() && text[at] != '"'; at++)
            if (text[at] == '<' || (text[at] == '&' && entityAt(at) == 0))
               return *why = "markup inside attribute " + attribute, false;
         at++;
      }
      if (text[at] == '>')
         open.push_back(name);
      i = at + (text[at] == '>' ? 1 : 2);
   }
   if (!open.empty())
      return *why = "<" + open.back() + "> is never closed", false;
   return rootSeen || (*why = "no root element", false);
}

size_t CountOf(const std::string &text, const std::string &part)
{
   size_t count = 0;
   for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
      count++;
   return count;
}

}

TEST_F(OrvaCommand, ProfileTableGoesToStandardErrorAndTheRunIsUnchanged)
{
   const std::string script = Script("nested.orva", kNested).string();
   const Outcome plain = Run({script});
   const Outcome profiled = Run({"--profile", script});
   EXPECT_EQ(profiled.status, plain.status);
   EXPECT_EQ(profiled.out, plain.out);
   EXPECT_TRUE(Contains(profiled.err, "profile of " + script + ": 1 run, ")) << profiled.err;

   // Two headed blocks: functions, then lines; every row's numbers, then
   // where.  The functions' calls are the script's.
   std::map<std::string, std::vector<uint64>> rows;
   std::istringstream lines(profiled.err);
   std::string line;
   int headings = 0;
   while (std::getline(lines, line))
   {
      if (Contains(line, "calls   self instr  total instr  total    self ms   total ms"))
      {
         headings++;
         continue;
      }
      std::istringstream fields(line);
      uint64 calls = 0, self = 0, total = 0;
      std::string percent, where;
      double selfMs = 0, totalMs = 0;
      if (fields >> calls >> self >> total >> percent >> selfMs >> totalMs >> where)
      {
         EXPECT_EQ(percent.back(), '%') << line;
         EXPECT_LE(self, total) << line;
         EXPECT_LE(selfMs, totalMs + 0.0005) << line;
         rows[where] = {calls, self, total};
      }
   }
   EXPECT_EQ(headings, 2) << profiled.err;
   ASSERT_EQ(rows.count("main"), 1u) << profiled.err;
   EXPECT_EQ(rows["main"][0], 1u);
   EXPECT_EQ(rows["branch"][0], 4u);
   EXPECT_EQ(rows["leaf"][0], 9u);
   EXPECT_EQ(rows["main:5"][0], 4u);   // the calls made from the line
   EXPECT_EQ(rows["main:6"][0], 1u);
   EXPECT_EQ(rows["branch:2"][0], 8u);
   EXPECT_EQ(rows["main"][2], rows["main"][1] + rows["branch"][2] + rows["main:6"][2] - rows["main:6"][1]);

   // A failed run reports its error as ever, and its profile up to there.
   const Outcome failed = Run({"--profile", Script("fails.orva", "sub f() { return 1 / \"x\"; }\n"
                                                                 "sub main() { println \"a\"; f(); }\n")
                                                 .string()});
   EXPECT_EQ(failed.status, 1);
   EXPECT_EQ(failed.out, "a\n");
   EXPECT_TRUE(Contains(failed.err, "fails.orva:1: error")) << failed.err;
   EXPECT_TRUE(Contains(failed.err, "profile of ")) << failed.err;
}

TEST_F(OrvaCommand, ProfileFoldedStacksAndFlameGraph)
{
   const std::string script = Script("nested.orva", kNested).string();
   const Outcome folded = Run({"--profile=folded:stacks.txt", script});
   ASSERT_EQ(folded.status, 0) << folded.err;
   EXPECT_EQ(folded.err, "");
   const std::string stacks = ReadFile(m_dir / "stacks.txt");
   std::set<std::string> paths;
   std::istringstream lines(stacks);
   std::string line;
   while (std::getline(lines, line))
      paths.insert(line.substr(0, line.rfind(' ')));
   EXPECT_EQ(paths, (std::set<std::string>{"main", "main;branch", "main;branch;leaf", "main;leaf"})) << stacks;
   EXPECT_EQ(Run({"--profile=folded", script}).err, stacks);

   // The loops of level 2 are counted at their turns like while loops: the
   // walk inside count is its own stack, the loops of main are main's.
   const std::string loops = Script("loops.orva", "sub count(a) {\n   n = 0;\n   for (k, v in a) n += v;\n"
                                                  "   return n;\n}\nsub main() {\n   h = {};\n"
                                                  "   for (i = 0; i < 300; i++) h[\"k\" . (i % 5)] += 1;\n"
                                                  "   for (r = 0; r < 20; r++) t += count(h);\n   print t;\n}\n")
                                 .string();
   const Outcome level2 = Run({"--language", "2", "--profile=folded:-", loops});
   ASSERT_EQ(level2.status, 0) << level2.err;
   EXPECT_TRUE(Contains(level2.out, "6000main ")) << level2.out;
   EXPECT_TRUE(Contains(level2.out, "\nmain;count ")) << level2.out;
   EXPECT_EQ(Run({"--profile=folded:-", script}).out, folded.out + stacks);

   // One frame per stack prefix and one for the whole: main, branch and
   // leaf under it, leaf under main, and "all".
   for (const char *format : {"--profile=svg:flame.svg", "--profile=svg-time:flame.svg"})
   {
      SCOPED_TRACE(format);
      const Outcome drawn = Run({format, script});
      ASSERT_EQ(drawn.status, 0) << drawn.err;
      const std::string svg = ReadFile(m_dir / "flame.svg");
      std::vector<std::string> names;
      std::string why;
      EXPECT_TRUE(WellFormed(svg, &names, &why)) << why << "\n" << svg;
      ASSERT_FALSE(names.empty());
      EXPECT_EQ(names[0], "svg");
      EXPECT_EQ(CountOf(svg, "<rect "), 5u) << svg;
      EXPECT_EQ(CountOf(svg, "<title>"), 5u);
      EXPECT_TRUE(Contains(svg, "<title>all (")) << svg;
   }

   // Names that XML must escape stay well-formed: a module's frames read
   // "NAME (module M)" and the title carries the script's path.
   const std::string odd = Script("a&b<c>.orva", "sub main() { println 1; }\n").string();
   ASSERT_EQ(Run({"--profile=svg:odd.svg", odd}).status, 0);
   std::vector<std::string> names;
   std::string why;
   EXPECT_TRUE(WellFormed(ReadFile(m_dir / "odd.svg"), &names, &why)) << why;
}

TEST_F(OrvaCommand, ProfileFormatsThatDoNotExistAreUsageErrors)
{
   const std::string script = Script("one.orva", "sub main() { println 1; }\n").string();
   for (const char *bad : {"--profile=svg", "--profile=bogus", "--profile=table-time", "--profile=folded:",
                           "--profile=-time"})
   {
      SCOPED_TRACE(bad);
      const Outcome o = Run({bad, script});
      EXPECT_EQ(o.status, 2);
      EXPECT_EQ(o.out, "");
      EXPECT_TRUE(Contains(o.err, "--profile takes")) << o.err;
   }
   // The value comes only after "=": the next word is the script.
   EXPECT_EQ(Run({"--profile", script}).out, "1\n");
   EXPECT_EQ(Run({"--profile", "-c", script}).status, 2);
   const Outcome unwritable = Run({"--profile=folded:no-such-dir/x", script});
   EXPECT_EQ(unwritable.out, "1\n");
   EXPECT_TRUE(Contains(unwritable.err, "cannot write the profile")) << unwritable.err;
}
