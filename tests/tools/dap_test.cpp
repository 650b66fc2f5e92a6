// orva --dap, driven as an editor drives it: framed requests in, responses
// and events out, over pipes to the built command.
#include "tools/dap_client.h"

namespace
{

// The JSON reader takes what the peer sends: everything well formed reads,
// everything else fails with a reason and never reads past the text.
TEST(DapJson, ReadsWhatEditorsSendAndRefusesTheRest)
{
   Json j;
   std::string error;
   ASSERT_TRUE(orva_cli::ParseJson(" {\"a\": [1, -2.5e1, true, null, \"x\\\"y\\u00e9\\ud83d\\ude00\"], \"b\": {}} ", &j, &error))
      << error;
   EXPECT_EQ(j["a"].Items().size(), 5u);
   EXPECT_EQ(j["a"].Items()[1].Write(), "-25");
   EXPECT_EQ(j["a"].Items()[4].String(), "x\"y\xC3\xA9\xF0\x9F\x98\x80");
   EXPECT_TRUE(j["b"].IsObject());
   EXPECT_TRUE(j["missing"]["deeper"].IsNull());
   EXPECT_EQ(j["a"].Int(7), 7);   // not a number: the fallback

   // A lone surrogate has no UTF-8 form: it reads as U+FFFD.
   ASSERT_TRUE(orva_cli::ParseJson("\"\\ud800x\"", &j, &error));
   EXPECT_EQ(j.String(), "\xEF\xBF\xBDx");

   const char *const bad[] = {
      "", "{", "{\"a\" 1}", "[1,]", "[1 2]", "\"abc", "\"\\u12\"", "\"\\q\"", "tru", "01x", "-", "1.",
      "{\"a\":1}}", "\"tab\there\"", "{1:2}",
   };
   for (const char *text : bad)
   {
      error.clear();
      EXPECT_FALSE(orva_cli::ParseJson(text, &j, &error)) << text;
      EXPECT_FALSE(error.empty()) << text;
   }
   // Deep nesting is refused, not followed down the stack.
   EXPECT_FALSE(orva_cli::ParseJson(std::string(100000, '['), &j, &error));

   // Written text is valid UTF-8 whatever bytes a script printed.
   Json out = Json::Object().Set("t", std::string("a\x01\xFF\n\"", 5));
   EXPECT_EQ(out.Write(), "{\"t\":\"a\\u0001\xEF\xBF\xBD\\n\\\"\"}");
}

class DapAdapter : public OrvaCommand
{
protected:
   DapClient client;

   // initialize and launch; the launch's response.
   Json Launch(Json arguments)
   {
      Json init = client.Request("initialize", Json::Object().Set("adapterID", "orva"));
      EXPECT_TRUE(init["success"].Bool()) << init.Write();
      return client.Request("launch", std::move(arguments));
   }

   Json LaunchArgs(const fs::path &program)
   {
      return Json::Object().Set("program", program.string());
   }
};

TEST_F(DapAdapter, RunsTheScriptWithItsOutputAndExitStatus)
{
   fs::path script = Script("hello.orva", "sub main(name, n) {\n"
                                          "   print \"no line end, \";\n"
                                          "   println \"hello \" . name . \" \" . (n + 1) . mark;\n"
                                          "   println typeof(readline());\n"   // input is not the protocol's
                                          "   exitstatus(9);\n"
                                          "}\n");
   // Options of the command reach the launched script.
   ASSERT_TRUE(client.Start(m_dir, {"-D", "mark=!"}));
   Json init = client.Request("initialize");
   EXPECT_TRUE(init["body"]["supportsConfigurationDoneRequest"].Bool());
   EXPECT_EQ(init["body"]["exceptionBreakpointFilters"].Items().at(0)["filter"].String(), "errors");

   Json args = LaunchArgs("hello.orva");   // relative to cwd
   args.Set("cwd", m_dir.string());
   args.Set("args", Json::Array().Push("you").Push(Json(41)));
   Json launch = client.Request("launch", args);
   EXPECT_TRUE(launch["success"].Bool()) << launch.Write();
   EXPECT_FALSE(client.Event("initialized").IsNull());
   EXPECT_TRUE(client.Request("configurationDone")["success"].Bool());

   EXPECT_EQ(client.Event("exited")["body"]["exitCode"].Int(-1), 9);
   EXPECT_FALSE(client.Event("terminated").IsNull());
   EXPECT_EQ(client.Output(), "no line end, hello you 42!\nnull\n");
   EXPECT_TRUE(client.Request("disconnect")["success"].Bool());
   EXPECT_EQ(client.Finish(), 0);

   // Run without debugging: neither the entry nor a breakpoint stops it.
   DapClient plain;
   ASSERT_TRUE(plain.Start(m_dir, {"-D", "mark=?"}));
   plain.Request("initialize");
   plain.Request("launch", Json::Object()
                              .Set("program", script.string())
                              .Set("noDebug", Json(true))
                              .Set("stopOnEntry", Json(true))
                              .Set("args", Json::Array().Push("again").Push(Json(1))));
   plain.Request("setBreakpoints", Json::Object()
                                      .Set("source", Json::Object().Set("path", script.string()))
                                      .Set("breakpoints", Json::Array().Push(Json::Object().Set("line", Json(3)))));
   plain.Request("configurationDone");
   EXPECT_EQ(plain.Event("exited")["body"]["exitCode"].Int(-1), 9);
   EXPECT_EQ(plain.Output(), "no line end, hello again 2?\nnull\n");
   for (const Json &m : plain.All())
      EXPECT_NE(m["event"].String(), "stopped") << m.Write();
   EXPECT_EQ(plain.Finish(), 0);
}

TEST_F(DapAdapter, ReportsFailuresOfTheScriptAsTheCommandDoes)
{
   Script("broken.orva", "sub main() {\n x = 1\n}\n");
   Script("fails.orva", "sub main() {\n println \"before\";\n return 1 / \"x\";\n}\n");
   Script("loops.orva", "sub main() { while (1) { } }\n");

   // A script that does not compile fails the launch, with its lines.
   ASSERT_TRUE(client.Start(m_dir));
   Json launch = Launch(LaunchArgs(m_dir / "broken.orva"));
   EXPECT_FALSE(launch["success"].Bool());
   EXPECT_TRUE(Contains(launch["message"].String(), "broken.orva:3: error: syntax error")) << launch.Write();
   EXPECT_TRUE(Contains(client.Output("stderr"), "broken.orva:3: error:")) << client.Output("stderr");
   Json missing = client.Request("launch", Json::Object());
   EXPECT_FALSE(missing["success"].Bool());
   EXPECT_TRUE(Contains(missing["message"].String(), "\"program\"")) << missing.Write();
   EXPECT_EQ(client.Finish(), 0);

   // A run-time error: its report as output, then status 1.  With the
   // errors filter off, nothing stops.
   DapClient second;
   ASSERT_TRUE(second.Start(m_dir));
   second.Request("initialize");
   EXPECT_TRUE(second.Request("launch", LaunchArgs(m_dir / "fails.orva"))["success"].Bool());
   second.Request("setExceptionBreakpoints", Json::Object().Set("filters", Json::Array()));
   second.Request("configurationDone");
   EXPECT_EQ(second.Event("exited")["body"]["exitCode"].Int(-1), 1);
   EXPECT_EQ(second.Output(), "before\n");
   EXPECT_TRUE(Contains(second.Output("stderr"), "fails.orva:3: error 4: Bad arithmetic conversion"))
      << second.Output("stderr");
   EXPECT_EQ(second.Finish(), 0);

   // The limit options of the command, in the launch request.
   DapClient third;
   ASSERT_TRUE(third.Start(m_dir));
   third.Request("initialize");
   EXPECT_TRUE(third.Request("launch", LaunchArgs(m_dir / "loops.orva").Set("maxInstructions", Json(100000)))["success"].Bool());
   third.Request("configurationDone");
   EXPECT_EQ(third.Event("exited")["body"]["exitCode"].Int(-1), 4);
   Json bad = third.Request("launch", LaunchArgs(m_dir / "loops.orva").Set("timeout", "soon"));
   EXPECT_FALSE(bad["success"].Bool());
   EXPECT_EQ(third.Finish(), 0);
}

TEST_F(DapAdapter, EndsTheSessionWhenTheEditorLeaves)
{
   // A script that runs until it is stopped: disconnect ends it and the
   // adapter; so does the end of the input.
   Script("forever.orva", "sub main() { n = 0; while (1) { n++; } }\n");
   ASSERT_TRUE(client.Start(m_dir));
   EXPECT_TRUE(Launch(LaunchArgs(m_dir / "forever.orva"))["success"].Bool());
   client.Request("configurationDone");
   EXPECT_TRUE(client.Request("disconnect")["success"].Bool());
   EXPECT_EQ(client.Finish(), 0);

   DapClient second;
   ASSERT_TRUE(second.Start(m_dir));
   second.Request("initialize");
   second.Request("launch", LaunchArgs(m_dir / "forever.orva"));
   second.Request("configurationDone");
   EXPECT_EQ(second.Finish(), 0);

   // terminate ends the run; the session goes on to its disconnect.
   DapClient third;
   ASSERT_TRUE(third.Start(m_dir));
   third.Request("initialize");
   third.Request("launch", LaunchArgs(m_dir / "forever.orva"));
   third.Request("configurationDone");
   EXPECT_TRUE(third.Request("terminate")["success"].Bool());
   EXPECT_FALSE(third.Event("terminated").IsNull());
   EXPECT_TRUE(third.Request("disconnect")["success"].Bool());
   EXPECT_EQ(third.Finish(), 0);
}

// Bad input gets an error response where a request can still be told
// apart, and ends the session cleanly where the framing is lost; never a
// crash.
TEST_F(DapAdapter, HandlesMalformedInputWithoutCrashing)
{
   ASSERT_TRUE(client.Start(m_dir));
   client.SendRaw("Content-Length: 9\r\n\r\n{\"seq\": 1");
   Json r = client.Response(0);
   EXPECT_FALSE(r["success"].Bool());
   EXPECT_TRUE(Contains(r["message"].String(), "not JSON")) << r.Write();

   client.SendRaw("Content-Length: 2\r\n\r\n[]");
   EXPECT_FALSE(client.Response(0)["success"].Bool());
   const std::string deep(5000, '[');
   client.SendRaw("Content-Length: " + std::to_string(deep.size()) + "\r\n\r\n" + deep);
   EXPECT_FALSE(client.Response(0)["success"].Bool());

   Json unknown = client.Request("fly");
   EXPECT_FALSE(unknown["success"].Bool());
   EXPECT_EQ(unknown["command"].String(), "fly");
   EXPECT_TRUE(Contains(unknown["message"].String(), "fly")) << unknown.Write();

   // Requests out of place, or with arguments of the wrong types.
   EXPECT_FALSE(client.Request("stackTrace")["success"].Bool());
   EXPECT_FALSE(client.Request("continue")["success"].Bool());
   EXPECT_FALSE(client.Request("configurationDone")["success"].Bool());
   EXPECT_FALSE(client.Request("launch", Json::Object().Set("program", Json(5)))["success"].Bool());
   EXPECT_TRUE(client.Request("setBreakpoints", Json::Object().Set("breakpoints", Json("x")))["success"].Bool());
   EXPECT_FALSE(client.Request("variables", Json::Object().Set("variablesReference", Json(99)))["success"].Bool());

   // Still serving after all of it.
   EXPECT_TRUE(client.Request("threads")["body"]["threads"].Items().size() == 1);
   client.SendRaw("Content-Length: \r\n\r\n");
   EXPECT_EQ(client.Finish(), 1);

   const char *const broken[] = {
      "no header at all\r\n\r\n",
      "Content-Type: application/json\r\n\r\n{}",
      "Content-Length: 99999999999999999999\r\n\r\n",
      "Content-Length: 10\r\n\r\n{\"se",   // the input ends inside the body
      "Content-Length: 5",                 // ... and inside the header
   };
   for (const char *input : broken)
   {
      DapClient c;
      ASSERT_TRUE(c.Start(m_dir));
      c.SendRaw(input);
      EXPECT_EQ(c.Finish(), 1) << input;
   }
   // A very long header line is refused before it is read to its end.
   DapClient c;
   ASSERT_TRUE(c.Start(m_dir));
   c.SendRaw(std::string(100000, 'x'));
   EXPECT_EQ(c.Finish(), 1);
}

// The names and values of a variables response, as "name=value" lines.
std::string Listed(const Json &response)
{
   std::string text;
   for (const Json &v : response["body"]["variables"].Items())
      text += v["name"].String() + "=" + v["value"].String() + "\n";
   return text;
}

// "function:line" of each frame of a stackTrace response.
std::string Stack(const Json &response)
{
   std::string text;
   for (const Json &f : response["body"]["stackFrames"].Items())
      text += f["name"].String() + ":" + std::to_string(f["line"].Int()) + " ";
   return text;
}

const char SUM_SCRIPT[] =
   "sub square(v) {\n"                          // 1
   "   r = v * v;\n"                            // 2
   "   return r;\n"                             // 3
   "}\n"                                        // 4
   "\n"                                         // 5
   "sub total(list, n) {\n"                     // 6
   "   sum = 0;\n"                              // 7
   "   i = 0;\n"                                // 8
   "   while (i < n) {\n"                       // 9
   "      sum = sum + square(list[i]);\n"       // 10
   "      i++;\n"                               // 11
   "   }\n"                                     // 12
   "   return sum;\n"                           // 13
   "}\n"                                        // 14
   "\n"                                         // 15
   "sub main(label) {\n"                        // 16
   "   array xs;\n"                             // 17
   "   xs[0] = 3;\n"                            // 18
   "   xs[1] = 4;\n"                            // 19
   "   println \"start \" . label;\n"           // 20
   "   t = total(xs, 2);\n"                     // 21
   "   println \"total \" . t;\n"               // 22
   "   exitstatus(3);\n"                        // 23
   "}\n";

TEST_F(DapAdapter, DebugsASessionThroughBreakpointsAndSteps)
{
   fs::path script = Script("sum.orva", SUM_SCRIPT);
   Json source = Json::Object().Set("path", script.string());
   ASSERT_TRUE(client.Start(m_dir));
   ASSERT_TRUE(Launch(LaunchArgs(script).Set("args", Json::Array().Push("run")))["success"].Bool());
   client.Event("initialized");

   // Breakpoints in two functions; one on a blank line moves to the next
   // line with code, one past the end has nowhere to go.
   Json set = client.Request("setBreakpoints", Json::Object().Set("source", source).Set(
      "breakpoints", Json::Array()
                        .Push(Json::Object().Set("line", Json(2)))
                        .Push(Json::Object().Set("line", Json(5)))
                        .Push(Json::Object().Set("line", Json(40)))));
   const std::vector<Json> &placed = set["body"]["breakpoints"].Items();
   ASSERT_EQ(placed.size(), 3u) << set.Write();
   EXPECT_TRUE(placed[0]["verified"].Bool());
   EXPECT_EQ(placed[0]["line"].Int(), 2);
   EXPECT_TRUE(placed[1]["verified"].Bool());
   EXPECT_EQ(placed[1]["line"].Int(), 7);
   EXPECT_FALSE(placed[2]["verified"].Bool());
   EXPECT_TRUE(client.Request("configurationDone")["success"].Bool());

   // First stop: total, called from main.  Its locals, an array opened
   // element by element, an element path.
   Json stopped = client.Event("stopped");
   EXPECT_EQ(stopped["body"]["reason"].String(), "breakpoint");
   EXPECT_EQ(stopped["body"]["threadId"].Int(), 1);
   EXPECT_EQ(client.Output(), "start run\n");   // output came before the stop
   Json stack = client.Request("stackTrace", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(Stack(stack), "total:7 main:21 ");
   EXPECT_EQ(stack["body"]["stackFrames"].Items()[0]["source"]["path"].String(), script.string());
   const int64_t totalFrame = stack["body"]["stackFrames"].Items()[0]["id"].Int();
   Json scopes = client.Request("scopes", Json::Object().Set("frameId", Json(totalFrame)));
   ASSERT_EQ(scopes["body"]["scopes"].Items().size(), 2u);
   Json locals = client.Request(
      "variables", Json::Object().Set("variablesReference", scopes["body"]["scopes"].Items()[0]["variablesReference"]));
   // The arguments as $1, $2 and as the parameters they are bound to.
   EXPECT_EQ(Listed(locals), "$1=array(2) [0: 3, 1: 4]\n$2=2\nlist=array(2) [0: 3, 1: 4]\nn=2\n");
   ASSERT_EQ(locals["body"]["variables"].Items().size(), 4u);
   const Json &list = locals["body"]["variables"].Items()[2];
   EXPECT_EQ(list["indexedVariables"].Int(), 2);
   Json elements = client.Request("variables", Json::Object().Set("variablesReference", list["variablesReference"]));
   EXPECT_EQ(Listed(elements), "[0]=3\n[1]=4\n");
   Json paged = client.Request("variables", Json::Object()
                                               .Set("variablesReference", list["variablesReference"])
                                               .Set("start", Json(1))
                                               .Set("count", Json(5)));
   EXPECT_EQ(Listed(paged), "[1]=4\n");
   Json element = client.Request("evaluate", Json::Object().Set("expression", "list[1]").Set("frameId", Json(totalFrame)));
   EXPECT_EQ(element["body"]["result"].String(), "4");
   EXPECT_EQ(client.Request("evaluate", Json::Object().Set("expression", "list[\"0\"]"))["body"]["result"].String(), "3");
   const int64_t mainFrame = stack["body"]["stackFrames"].Items()[1]["id"].Int();
   Json label = client.Request("evaluate", Json::Object().Set("expression", "label").Set("frameId", Json(mainFrame)));
   EXPECT_EQ(label["body"]["result"].String(), "\"run\"");
   EXPECT_EQ(label["body"]["type"].String(), "string");
   for (const char *wrong : {"list[7]", "n[0]", "nothing", "list[", "n + 1"})
   {
      Json r = client.Request("evaluate", Json::Object().Set("expression", wrong).Set("frameId", Json(totalFrame)));
      EXPECT_FALSE(r["success"].Bool()) << wrong;
      EXPECT_FALSE(r["message"].String().empty()) << wrong;
   }

   // Second stop: square, three calls deep.
   EXPECT_TRUE(client.Request("continue", Json::Object().Set("threadId", Json(1)))["success"].Bool());
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "breakpoint");
   stack = client.Request("stackTrace", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(Stack(stack), "square:2 total:10 main:21 ");
   scopes = client.Request("scopes", Json::Object().Set("frameId", stack["body"]["stackFrames"].Items()[0]["id"]));
   EXPECT_EQ(Listed(client.Request("variables", Json::Object().Set(
                "variablesReference", scopes["body"]["scopes"].Items()[0]["variablesReference"]))),
             "$1=3\nv=3\n");

   // Out of square: the rest of the calling line runs, then total's next
   // line; next stays in total.
   client.Request("stepOut", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "step");
   stack = client.Request("stackTrace", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(Stack(stack), "total:11 main:21 ");
   EXPECT_EQ(client.Request("evaluate", Json::Object().Set("expression", "sum"))["body"]["result"].String(), "9");
   client.Request("next", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "step");
   stack = client.Request("stackTrace", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(stack["body"]["stackFrames"].Items()[0]["name"].String(), "total");
   EXPECT_GT(stack["body"]["stackFrames"].Items()[0]["line"].Int(), 11);

   // Values named at one stop are not named at the next.
   EXPECT_FALSE(client.Request("variables", Json::Object().Set("variablesReference", list["variablesReference"]))["success"].Bool());

   // Breakpoints cleared: the run goes to its end.
   client.Request("setBreakpoints", Json::Object().Set("source", source).Set("breakpoints", Json::Array()));
   client.Request("continue", Json::Object().Set("threadId", Json(1)));
   EXPECT_EQ(client.Event("exited")["body"]["exitCode"].Int(-1), 3);
   EXPECT_FALSE(client.Event("terminated").IsNull());
   EXPECT_EQ(client.Output(), "start run\ntotal 25\n");
   EXPECT_TRUE(client.Request("disconnect")["success"].Bool());
   EXPECT_EQ(client.Finish(), 0);
}

// Stops other than breakpoints: on entry, on a pause request while the
// script runs, in a module, and where a run-time error is about to end it.
TEST_F(DapAdapter, StopsOnEntryPauseModulesAndErrors)
{
   fs::path module = Script("helper.orva", "sub twice(x) {\n   y = x * 2;\n   return y;\n}\n");
   fs::path script = Script("spin.orva", "use helper;\n"
                                         "\n"
                                         "sub main() {\n"
                                         "   n = 0;\n"
                                         "   while (n >= 0) { n++; if ($1 == \"stop\") { n = -5; } }\n"
                                         "   println twice(n);\n"
                                         "   z = 1 / \"x\";\n"
                                         "}\n");
   ASSERT_TRUE(client.Start(m_dir));
   ASSERT_TRUE(Launch(LaunchArgs(script).Set("stopOnEntry", Json(true)).Set("args", Json::Array().Push("go")))["success"].Bool());
   Json set = client.Request("setBreakpoints", Json::Object()
                                                  .Set("source", Json::Object().Set("path", module.string()))
                                                  .Set("breakpoints", Json::Array().Push(Json::Object().Set("line", Json(1)))));
   EXPECT_EQ(set["body"]["breakpoints"].Items().at(0)["line"].Int(), 2);
   client.Request("configurationDone");

   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "entry");
   EXPECT_EQ(Stack(client.Request("stackTrace")), "main:4 ");
   client.Request("continue");

   // A breakpoint set while the script runs takes effect.
   auto lineFive = [&](Json lines) {
      return client.Request("setBreakpoints", Json::Object()
                                                 .Set("source", Json::Object().Set("path", script.string()))
                                                 .Set("breakpoints", std::move(lines)));
   };
   EXPECT_TRUE(lineFive(Json::Array().Push(Json::Object().Set("line", Json(5))))["success"].Bool());
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "breakpoint");
   EXPECT_EQ(Stack(client.Request("stackTrace")), "main:5 ");
   lineFive(Json::Array());
   client.Request("continue");

   // The loop never ends by itself: only a pause can stop it.
   EXPECT_TRUE(client.Request("pause", Json::Object().Set("threadId", Json(1)))["success"].Bool());
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "pause");
   EXPECT_EQ(Stack(client.Request("stackTrace")), "main:5 ");
   Json globals = client.Request("scopes", Json::Object().Set("frameId", Json(1)))["body"]["scopes"].Items().at(1);
   EXPECT_EQ(globals["name"].String(), "Globals");
   EXPECT_TRUE(client.Request("variables", Json::Object().Set("variablesReference", globals["variablesReference"]))["success"].Bool());
   // The script's arguments read as $1, $2, ...
   EXPECT_EQ(client.Request("evaluate", Json::Object().Set("expression", "$1"))["body"]["result"].String(), "\"go\"");
   client.Request("disconnect");
   EXPECT_EQ(client.Finish(), 0);

   // The module's breakpoint, with the module's file as the frame's source,
   // then the error, stopped at before it ends the run.
   DapClient second;
   ASSERT_TRUE(second.Start(m_dir));
   second.Request("initialize");
   second.Request("launch", LaunchArgs(script).Set("args", Json::Array().Push("stop")));
   second.Request("setBreakpoints", Json::Object()
                                       .Set("source", Json::Object().Set("path", module.string()))
                                       .Set("breakpoints", Json::Array().Push(Json::Object().Set("line", Json(2)))));
   second.Request("configurationDone");
   EXPECT_EQ(second.Event("stopped")["body"]["reason"].String(), "breakpoint");
   Json stack = second.Request("stackTrace");
   EXPECT_EQ(Stack(stack), "twice:2 main:6 ");
   EXPECT_EQ(stack["body"]["stackFrames"].Items()[0]["source"]["path"].String(), module.string());
   second.Request("continue");
   Json error = second.Event("stopped");
   EXPECT_EQ(error["body"]["reason"].String(), "exception");
   EXPECT_TRUE(Contains(error["body"]["description"].String(), "Bad arithmetic conversion")) << error.Write();
   EXPECT_EQ(Stack(second.Request("stackTrace")), "main:7 ");
   second.Request("continue");
   EXPECT_EQ(second.Event("exited")["body"]["exitCode"].Int(-1), 1);
   EXPECT_EQ(second.Output(), "-10\n");
   EXPECT_TRUE(Contains(second.Output("stderr"), "spin.orva:7: error 4:")) << second.Output("stderr");
   second.Request("disconnect");
   EXPECT_EQ(second.Finish(), 0);
}

TEST_F(DapAdapter, ShowsTextKeysAsNamedChildrenAtLevel2)
{
   fs::path script = Script("tally.orva", "sub main() {\n   hits = {\"10.0.0.1\": 2, \"007\": 3};\n   hits[7] = 1;\n"
                                          "   return count(hits);\n}\n");
   ASSERT_TRUE(client.Start(m_dir, {"--language", "2"}));
   ASSERT_TRUE(Launch(LaunchArgs(script))["success"].Bool());
   client.Request("setBreakpoints", Json::Object()
                                       .Set("source", Json::Object().Set("path", script.string()))
                                       .Set("breakpoints", Json::Array().Push(Json::Object().Set("line", Json(4)))));
   client.Request("configurationDone");
   EXPECT_EQ(client.Event("stopped")["body"]["reason"].String(), "breakpoint");
   Json hits = client.Request("evaluate", Json::Object().Set("expression", "hits"))["body"];
   EXPECT_EQ(hits["result"].String(), "array(3) [7: 1, \"10.0.0.1\": 2, \"007\": 3]");
   EXPECT_EQ(hits["indexedVariables"].Int(), 1);
   EXPECT_EQ(hits["namedVariables"].Int(), 2);
   auto children = [&](const char *filter) {
      Json args = Json::Object().Set("variablesReference", hits["variablesReference"]);
      if (filter != nullptr)
         args.Set("filter", filter);
      return Listed(client.Request("variables", std::move(args)));
   };
   EXPECT_EQ(children(nullptr), "[7]=1\n[\"10.0.0.1\"]=2\n[\"007\"]=3\n");
   EXPECT_EQ(children("indexed"), "[7]=1\n");
   EXPECT_EQ(children("named"), "[\"10.0.0.1\"]=2\n[\"007\"]=3\n");
   EXPECT_EQ(client.Request("evaluate", Json::Object().Set("expression", "hits[\"007\"]"))["body"]["result"].String(), "3");
   EXPECT_EQ(client.Request("evaluate", Json::Object().Set("expression", "hits[\"7\"]"))["body"]["result"].String(), "1");
   client.Request("continue");
   EXPECT_EQ(client.Event("exited")["body"]["exitCode"].Int(-1), 0);
   client.Request("disconnect");
   EXPECT_EQ(client.Finish(), 0);
}

TEST_F(DapAdapter, OptionTakesNoScript)
{
   Outcome o = Run({"--dap", "x.orva"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "--dap takes no script")) << o.err;
}

}
