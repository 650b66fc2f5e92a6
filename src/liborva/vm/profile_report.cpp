/*
 * What a profile tells its host: rows by function and by line, and folded
 * stacks.  Each is made when first asked for after a run added to it.
 */
#include "vm/profile.h"

#include <algorithm>

typedef ORVA_ProfileBody Body;

namespace
{

// The most first; time only breaks ties, so that the order of rows that
// differ in instructions is the same from run to run.
bool Before(const Body::Counts &a, const Body::Counts &b)
{
   if (a.totalUnits != b.totalUnits)
      return a.totalUnits > b.totalUnits;
   if (a.totalNanos != b.totalNanos)
      return a.totalNanos > b.totalNanos;
   return a.selfUnits > b.selfUnits;
}

template <typename Rows>
void Order(const Rows &rows, std::vector<uint32> *order)
{
   if (order->size() == rows.size())
      return;
   order->resize(rows.size());
   for (uint32 i = 0; i < order->size(); i++)
      (*order)[i] = i;
   std::stable_sort(order->begin(), order->end(), [&rows](uint32 a, uint32 b) { return Before(rows[a], rows[b]); });
}

void Fill(const Body &b, const Body::Counts &counts, uint32 function, int line, ORVA_ProfileRow *row)
{
   row->function = b.functions[function].name.c_str();
   row->module = b.functions[function].module.c_str();
   row->line = line;
   row->calls = counts.calls;
   row->selfInstructions = counts.selfUnits;
   row->totalInstructions = counts.totalUnits;
   row->selfNanoseconds = counts.selfNanos;
   row->totalNanoseconds = counts.totalNanos;
}

void AppendFrameName(const Body::Function &function, std::string *out)
{
   *out += function.name;
   if (!function.module.empty())
      *out += " (module " + function.module + ')';
}

}

ORVA_Profile::ORVA_Profile() : m_body(new ORVA_ProfileBody()) {}

ORVA_Profile::~ORVA_Profile()
{
   delete m_body;
}

void ORVA_Profile::Clear()
{
   // The run reporting here (a host function clearing its own run's
   // profile) holds places in what would go.
   if (m_body->engine != nullptr)
      return;
   ORVA_ProfileBody fresh;
   std::swap(*m_body, fresh);
}

uint32 ORVA_Profile::GetRunCount() const
{
   return m_body->runs;
}

uint64 ORVA_Profile::GetInstructions() const
{
   uint64 sum = 0;
   for (const Body::Node &node : m_body->nodes)
      sum += node.selfUnits;
   return sum;
}

uint64 ORVA_Profile::GetNanoseconds() const
{
   uint64 sum = 0;
   for (const Body::Node &node : m_body->nodes)
      sum += node.selfNanos;
   return sum;
}

uint32 ORVA_Profile::GetFunctionCount() const
{
   return static_cast<uint32>(m_body->functions.size());
}

int ORVA_Profile::GetFunctionRow(uint32 index, ORVA_ProfileRow *row) const
{
   if (index >= m_body->functions.size() || row == nullptr)
      return 0;
   Order(m_body->functions, &m_body->functionOrder);
   const uint32 id = m_body->functionOrder[index];
   Fill(*m_body, m_body->functions[id], id, 0, row);
   return 1;
}

uint32 ORVA_Profile::GetLineCount() const
{
   return static_cast<uint32>(m_body->lines.size());
}

int ORVA_Profile::GetLineRow(uint32 index, ORVA_ProfileRow *row) const
{
   if (index >= m_body->lines.size() || row == nullptr)
      return 0;
   Order(m_body->lines, &m_body->lineOrder);
   const Body::Line &line = m_body->lines[m_body->lineOrder[index]];
   Fill(*m_body, line, line.function, line.line, row);
   return 1;
}

const char *ORVA_Profile::GetFoldedStacks(int weight) const
{
   const bool byTime = weight == ORVA_PROFILE_NANOSECONDS;
   std::string &text = m_body->folded[byTime ? 1 : 0];
   if (m_body->foldedMade[byTime ? 1 : 0])
      return text.c_str();
   std::vector<std::string> lines;
   std::vector<uint32> path;
   for (uint32 id = 1; id < m_body->nodes.size(); id++)
   {
      const Body::Node &node = m_body->nodes[id];
      const uint64 value = byTime ? node.selfNanos : node.selfUnits;
      if (value == 0)
         continue;
      path.clear();
      for (uint32 at = id; at != 0; at = m_body->nodes[at].parent)
         path.push_back(m_body->nodes[at].function);
      std::string line;
      for (size_t i = path.size(); i-- > 0;)
      {
         AppendFrameName(m_body->functions[path[i]], &line);
         line += (i > 0) ? ';' : ' ';
      }
      line += std::to_string(value);
      line += '\n';
      lines.push_back(std::move(line));
   }
   std::sort(lines.begin(), lines.end());
   text.clear();
   for (const std::string &line : lines)
      text += line;
   m_body->foldedMade[byTime ? 1 : 0] = true;
   return text.c_str();
}
