#include "dap_inspect.h"

namespace orva_cli
{

void DapRun::Inspector::Attach(ORVA_Program *program, const DapLaunch &launch)
{
   m_program = program;
   m_launch = launch;
}

void DapRun::Inspector::BeforeRun(ORVA_Environment *) {}
void DapRun::Inspector::AfterRun() {}

std::vector<int> DapRun::Inspector::SetBreakpoints(const std::string &, const std::vector<int> &lines)
{
   return std::vector<int>(lines.size(), 0);
}

void DapRun::Inspector::SetStopOnErrors(bool) {}
void DapRun::Inspector::RequestPause() {}

Json DapRun::Inspector::StackTrace(const Json &)
{
   return Json::Object().Set("stackFrames", Json::Array()).Set("totalFrames", Json(0));
}

Json DapRun::Inspector::Scopes(const Json &)
{
   return Json::Object().Set("scopes", Json::Array());
}

Json DapRun::Inspector::Variables(const Json &args)
{
   Json list;
   if (!m_values.Children(args, &list))
      list = Json::Array();
   return Json::Object().Set("variables", std::move(list));
}

Json DapRun::Inspector::Evaluate(const Json &, std::string *error)
{
   *error = "not available";
   return Json();
}

}
