// Host functions on several threads at once: each reaches the environment
// of its own run and words its own errors, whatever the other threads do.
#include "threads_test_util.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{

class StationEnvironment : public ORVA_Environment
{
public:
   explicit StationEnvironment(std::string station) : station(std::move(station)) {}
   std::string station;
};

// station(): the name the run's environment carries.
int Station(int, ORVA_Value **, ORVA_Value **result)
{
   auto *env = dynamic_cast<StationEnvironment *>(ORVA_CurrentEnvironment());
   if (env == nullptr)
      return ORVA_ERR_INTERNAL;
   *result = new ORVA_Value(env->station.c_str());
   return 0;
}

// offline(): fails with a text that names the station.
int Offline(int, ORVA_Value **, ORVA_Value **)
{
   auto *env = dynamic_cast<StationEnvironment *>(ORVA_CurrentEnvironment());
   ORVA_SetErrorMessage(env != nullptr ? (env->station + " offline").c_str() : "no station");
   return 100;
}

const char kScript[] = "sub main(n)\n"
                       "{\n"
                       "   i = 0;\n"
                       "   while (i < 200) { if (station() != $1) return \"mixed up\"; i++; }\n"
                       "   return station();\n"
                       "}\n"
                       "sub fail() { return offline(); }\n";

TEST(HostContextThreads, EachRunReachesItsOwnEnvironment)
{
   const int kThreads = 2;
   const int kRounds = 50;
   std::atomic<int> ready{0};
   std::vector<std::string> failures(kThreads);
   std::vector<std::thread> threads;
   for (int t = 0; t < kThreads; t++)
      threads.emplace_back([&, t] {
         const std::string name = "station-" + std::to_string(t);
         ORVA_Program *program = Compile(kScript);
         ORVA_ExtFunction functions[] = {{"station", Station, 0}, {"offline", Offline, 0}};
         ready++;
         while (ready < kThreads)
            std::this_thread::yield();
         for (int round = 0; round < kRounds && failures[t].empty(); round++)
         {
            StationEnvironment *env = new StationEnvironment(name);
            env->RegisterFunctionSet(2, functions);
            const std::string result = RunMain(program, env, new ORVA_Value(name.c_str()));
            if (result != name)
               failures[t] = "run: " + result;

            env = new StationEnvironment(name);
            env->RegisterFunctionSet(2, functions);
            program->RunFunction(env, "fail", 0, nullptr, nullptr, nullptr);
            if (std::string(program->GetErrorText()) != "Error 100 in line 7: " + name + " offline")
               failures[t] = std::string("error: ") + program->GetErrorText();
            if (ORVA_CurrentEnvironment() != nullptr)
               failures[t] = "an environment outlived its run";
         }
         delete program;
      });
   for (std::thread &thread : threads)
      thread.join();
   for (int t = 0; t < kThreads; t++)
      EXPECT_EQ(failures[t], "") << "thread " << t;
}

}
