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
                                          "   println \"hello \" . name . \" \" . (n + 1);\n"
                                          "   println typeof(readline());\n"   // input is not the protocol's
                                          "   exitstatus(9);\n"
                                          "}\n");
   ASSERT_TRUE(client.Start(m_dir));
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
   EXPECT_EQ(client.Output(), "no line end, hello you 42\nnull\n");
   EXPECT_TRUE(client.Request("disconnect")["success"].Bool());
   EXPECT_EQ(client.Finish(), 0);
   (void)script;
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

TEST_F(DapAdapter, OptionTakesNoScript)
{
   Outcome o = Run({"--dap", "x.orva"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "--dap takes no script")) << o.err;
}

}
