#include "support/regex_program.h"

#include "support/regex_parse.h"

#include <algorithm>
#include <bitset>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <map>
#include <regex.h>

namespace
{

const uint8_t AT_BEGIN = 1;   // the way passes a "^"
const uint8_t AT_END = 2;     // the way passes a "$"

// Bounds on the ways through one piece and on the edges in all, past which
// a pattern is surely not worth the table: the system's matcher takes it.
const size_t MAX_WAYS = 512;
const size_t MAX_EDGES = 1u << 16;

/* The group boundaries a way crosses, in order; a way through more is left to the system. */
const int MAX_TAGS = 14;

struct Tags
{
   uint16_t count = 0;
   uint16_t tag[MAX_TAGS] = {};

   bool operator==(const Tags &other) const
   {
      return count == other.count && std::equal(tag, tag + count, other.tag);
   }
   bool operator!=(const Tags &other) const { return !(*this == other); }
   bool operator<(const Tags &other) const
   {
      return std::lexicographical_compare(tag, tag + count, other.tag, other.tag + other.count);
   }
};

/* A way into or out of a piece: the position it reaches or leaves (none for
 * a way through it that takes no byte), with what it crosses. */
struct Way
{
   int position;
   Tags tags;
   uint8_t asserts;
};

struct Info
{
   std::vector<Way> first;   // ways in, to the position taking the first byte
   std::vector<Way> last;    // ways out, from the position taking the last byte
   std::vector<Way> empty;   // ways through taking no byte
};

/* From one position to the next, crossing tags. */
struct Edge
{
   int from;
   int to;
   Tags tags;
   uint8_t asserts;
};

// Past MAX_TAGS the count is left over it, which Fits refuses.
Tags Joined(const Tags &a, const Tags &b)
{
   Tags joined = a;
   if (a.count + b.count > MAX_TAGS)
   {
      joined.count = MAX_TAGS + 1;
      return joined;
   }
   std::copy(b.tag, b.tag + b.count, joined.tag + a.count);
   joined.count = static_cast<uint16_t>(a.count + b.count);
   return joined;
}

Tags Around(uint16_t open, const Tags &inner, uint16_t close, bool opens, bool closes)
{
   Tags first, last;
   first.count = opens ? 1 : 0;
   first.tag[0] = open;
   last.count = closes ? 1 : 0;
   last.tag[0] = close;
   return Joined(Joined(first, inner), last);
}

class Builder
{
public:
   explicit Builder(const ORVA_RegexTree &tree) : m_tree(tree) {}

   std::unique_ptr<ORVA_RegexProgram> Build()
   {
      Info root;
      if (!Piece(m_tree.root, &root) || !Fits(root))
         return nullptr;
      return Tables(root);
   }

private:
   const ORVA_RegexTree &m_tree;
   std::vector<std::bitset<256>> m_positions;
   std::vector<Edge> m_follow;

   bool Fits(const Info &info) const
   {
      for (const std::vector<Way> *ways : {&info.first, &info.last, &info.empty})
         for (const Way &way : *ways)
            if (way.tags.count > MAX_TAGS)
               return false;
      return info.first.size() <= MAX_WAYS && info.last.size() <= MAX_WAYS && info.empty.size() <= MAX_WAYS &&
             m_follow.size() <= MAX_EDGES && m_positions.size() <= REGEX_PROGRAM_MAX_POSITIONS;
   }

   bool Nullable(int index) const
   {
      const ORVA_RegexNode &node = m_tree.nodes[index];
      switch (node.kind)
      {
      case REGEX_NODE_BYTES:
         return false;
      case REGEX_NODE_CONCAT:
         for (int child : node.children)
            if (!Nullable(child))
               return false;
         return true;
      case REGEX_NODE_ALTERNATIVES:
         for (int child : node.children)
            if (Nullable(child))
               return true;
         return false;
      case REGEX_NODE_GROUP:
         return Nullable(node.children[0]);
      case REGEX_NODE_REPEAT:
         return node.low == 0 || Nullable(node.children[0]);
      default:
         return true;
      }
   }

   bool HasAnchor(int index) const
   {
      const ORVA_RegexNode &node = m_tree.nodes[index];
      if (node.kind == REGEX_NODE_BEGIN || node.kind == REGEX_NODE_END)
         return true;
      for (int child : node.children)
         if (HasAnchor(child))
            return true;
      return false;
   }

   static Info Nothing()
   {
      Info info;
      info.empty.push_back(Way{-1, Tags(), 0});
      return info;
   }

   // a then b.
   bool Join(const Info &a, const Info &b, Info *out)
   {
      Info joined;
      for (const Way &leaving : a.last)
         for (const Way &in : b.first)
            m_follow.push_back(Edge{leaving.position, in.position, Joined(leaving.tags, in.tags),
                                    static_cast<uint8_t>(leaving.asserts | in.asserts)});
      joined.first = a.first;
      for (const Way &through : a.empty)
         for (const Way &in : b.first)
            joined.first.push_back(
               Way{in.position, Joined(through.tags, in.tags), static_cast<uint8_t>(through.asserts | in.asserts)});
      joined.last = b.last;
      for (const Way &leaving : a.last)
         for (const Way &through : b.empty)
            joined.last.push_back(Way{leaving.position, Joined(leaving.tags, through.tags),
                                      static_cast<uint8_t>(leaving.asserts | through.asserts)});
      for (const Way &x : a.empty)
         for (const Way &y : b.empty)
            joined.empty.push_back(Way{-1, Joined(x.tags, y.tags), static_cast<uint8_t>(x.asserts | y.asserts)});
      *out = std::move(joined);
      return Fits(*out);
   }

   bool Piece(int index, Info *out)
   {
      const ORVA_RegexNode &node = m_tree.nodes[index];
      *out = Info();
      switch (node.kind)
      {
      case REGEX_NODE_BYTES:
      {
         const int position = static_cast<int>(m_positions.size());
         m_positions.push_back(node.bytes);
         out->first.push_back(Way{position, Tags(), 0});
         out->last.push_back(Way{position, Tags(), 0});
         return Fits(*out);
      }
      case REGEX_NODE_BEGIN:
         out->empty.push_back(Way{-1, Tags(), AT_BEGIN});
         return true;
      case REGEX_NODE_END:
         out->empty.push_back(Way{-1, Tags(), AT_END});
         return true;
      case REGEX_NODE_CONCAT:
      {
         *out = Nothing();
         for (int child : node.children)
         {
            Info next;
            if (!Piece(child, &next) || !Join(*out, next, out))
               return false;
         }
         return true;
      }
      case REGEX_NODE_ALTERNATIVES:
         for (int child : node.children)
         {
            Info next;
            if (!Piece(child, &next))
               return false;
            out->first.insert(out->first.end(), next.first.begin(), next.first.end());
            out->last.insert(out->last.end(), next.last.begin(), next.last.end());
            out->empty.insert(out->empty.end(), next.empty.begin(), next.empty.end());
            if (!Fits(*out))
               return false;
         }
         return true;
      case REGEX_NODE_GROUP:
      {
         if (!Piece(node.children[0], out))
            return false;
         const uint16_t open = static_cast<uint16_t>(2 * node.group), close = static_cast<uint16_t>(open + 1);
         for (Way &in : out->first)
            in.tags = Around(open, in.tags, close, true, false);
         for (Way &leaving : out->last)
            leaving.tags = Around(open, leaving.tags, close, false, true);
         for (Way &through : out->empty)
            through.tags = Around(open, through.tags, close, true, true);
         return Fits(*out);
      }
      case REGEX_NODE_REPEAT:
         return Repeat(node, out);
      }
      return false;
   }

   /*
    * What an iteration that takes no byte does is where matchers part ways,
    * and the system's compiler reads an anchor in a counted piece its own
    * way: such patterns are left to it.  A group inside a repetition keeps
    * what the last iteration that crossed it took, as the system's matcher
    * reports it: the boundaries are simply marked in order.  A count is
    * written out as that many copies, the optional ones nested ("a{1,3}"
    * as "a(a(a)?)?") so that each subject still has only one reading.
    */
   bool Repeat(const ORVA_RegexNode &node, Info *out)
   {
      const int body = node.children[0];
      if (Nullable(body) || (HasAnchor(body) && node.high != 1))
         return false;
      *out = Nothing();
      for (int i = 0; i < node.low; i++)
      {
         Info copy;
         if (!Piece(body, &copy) || !Join(*out, copy, out))
            return false;
      }
      if (node.high < 0)
      {
         Info loop;
         if (!Piece(body, &loop))
            return false;
         for (const Way &leaving : loop.last)
            for (const Way &in : loop.first)
               m_follow.push_back(Edge{leaving.position, in.position, Joined(leaving.tags, in.tags),
                                       static_cast<uint8_t>(leaving.asserts | in.asserts)});
         loop.empty.push_back(Way{-1, Tags(), 0});
         return Join(*out, loop, out);
      }
      Info optional;
      bool any = false;
      for (int i = node.low; i < node.high; i++)
      {
         Info copy;
         if (!Piece(body, &copy))
            return false;
         if (any && !Join(copy, optional, &copy))
            return false;
         copy.empty.push_back(Way{-1, Tags(), 0});
         optional = std::move(copy);
         any = true;
      }
      return !any || Join(*out, optional, out);
   }

   /* Where a match may go from state on a byte, and where it may end. */
   struct Choices
   {
      std::vector<const Edge *> steps;
      std::vector<const Way *> accepts;
   };

   std::unique_ptr<ORVA_RegexProgram> Tables(const Info &root)
   {
      const int positions = static_cast<int>(m_positions.size());
      const int states = 2 + positions;
      std::vector<Edge> starts;
      std::vector<Choices> choices(states);
      for (const Way &in : root.first)
      {
         // A "$" before a byte never holds; a "^" only at the subject's start.
         if (in.asserts & AT_END)
            continue;
         const int from = (in.asserts & AT_BEGIN) ? REGEX_START_AT_BEGIN : REGEX_START_INSIDE;
         starts.push_back(Edge{from, in.position, in.tags, 0});
      }
      for (const Edge &start : starts)
      {
         choices[REGEX_START_AT_BEGIN].steps.push_back(&start);
         if (start.from == REGEX_START_INSIDE)
            choices[REGEX_START_INSIDE].steps.push_back(&start);
      }
      for (const Way &through : root.empty)
      {
         choices[REGEX_START_AT_BEGIN].accepts.push_back(&through);
         if (!(through.asserts & AT_BEGIN))
            choices[REGEX_START_INSIDE].accepts.push_back(&through);
      }
      // Past a byte a "^" never holds, and between two a "$" never does.
      for (const Edge &edge : m_follow)
         if (edge.tags.count > MAX_TAGS)
            return nullptr;
      for (const Edge &edge : m_follow)
         if (edge.asserts == 0)
            choices[2 + edge.from].steps.push_back(&edge);
      for (const Way &leaving : root.last)
         if (!(leaving.asserts & AT_BEGIN))
            choices[2 + leaving.position].accepts.push_back(&leaving);

      auto program = std::unique_ptr<ORVA_RegexProgram>(new ORVA_RegexProgram());
      program->states = states;
      ClassifyBytes(program.get());
      std::map<Tags, uint16_t> lists;
      program->tagStart.push_back(0);
      auto intern = [&](const Tags &tags) {
         auto found = lists.find(tags);
         if (found != lists.end())
            return found->second;
         const uint16_t id = static_cast<uint16_t>(lists.size());
         lists.emplace(tags, id);
         program->tagData.insert(program->tagData.end(), tags.tag, tags.tag + tags.count);
         program->tagStart.push_back(static_cast<uint32_t>(program->tagData.size()));
         return id;
      };
      intern(Tags());

      std::vector<int> representative(program->classes, -1);
      for (int b = 255; b >= 1; b--)
         representative[program->byteClass[b]] = b;
      program->steps.assign(static_cast<size_t>(states) * program->classes, ORVA_RegexStep());
      program->accept.assign(states, REGEX_ACCEPT_NEVER);
      program->acceptTags.assign(states, 0);
      for (int state = 0; state < states; state++)
      {
         for (int k = 0; k < program->classes; k++)
         {
            if (representative[k] < 0)
               continue;   // the class of the byte that ends the subject
            const Edge *chosen = nullptr;
            for (const Edge *edge : choices[state].steps)
            {
               if (!m_positions[edge->to][representative[k]])
                  continue;
               // Two ways on one byte: a subject could be read two ways.
               if (chosen != nullptr && (chosen->to != edge->to || chosen->tags != edge->tags))
                  return nullptr;
               chosen = edge;
            }
            if (chosen == nullptr)
               continue;
            ORVA_RegexStep &step = program->steps[static_cast<size_t>(state) * program->classes + k];
            step.target = static_cast<int16_t>(2 + chosen->to);
            step.tags = intern(chosen->tags);
         }
         if (!Accepting(choices[state].accepts, state, program.get(), intern))
            return nullptr;
      }
      if (lists.size() > 0xFFFF)
         return nullptr;

      int startBytes = 0;
      for (int b = 1; b < 256; b++)
      {
         program->canStart[b] = program->Step(REGEX_START_INSIDE, static_cast<unsigned char>(b)).target >= 0;
         if (program->canStart[b])
         {
            startBytes++;
            program->singleStartByte = b;
         }
      }
      if (startBytes != 1)
         program->singleStartByte = -1;
      program->onlyAtBegin = startBytes == 0 && program->accept[REGEX_START_INSIDE] == REGEX_ACCEPT_NEVER;
      return program;
   }

   // Where a match may end at state: one reading only, wherever the subject ends.
   template <typename Intern>
   static bool Accepting(const std::vector<const Way *> &ways, int state, ORVA_RegexProgram *program, Intern &intern)
   {
      const Tags *always = nullptr, *atEnd = nullptr;
      for (const Way *way : ways)
      {
         const Tags *&slot = (way->asserts & AT_END) ? atEnd : always;
         if (slot != nullptr && *slot != way->tags)
            return false;
         slot = &way->tags;
      }
      if (always != nullptr && atEnd != nullptr && *always != *atEnd)
         return false;
      if (always != nullptr)
      {
         program->accept[state] = REGEX_ACCEPT_ALWAYS;
         program->acceptTags[state] = intern(*always);
      }
      else if (atEnd != nullptr)
      {
         program->accept[state] = REGEX_ACCEPT_AT_END;
         program->acceptTags[state] = intern(*atEnd);
      }
      return true;
   }

   // Bytes that every position takes alike share a class; the byte 0 (the
   // subject's end) has one of its own.  Each position's set splits the
   // classes it takes only some bytes of.
   void ClassifyBytes(ORVA_RegexProgram *program) const
   {
      int of[256];   // each byte's class
      int size[256] = {};
      std::fill(of, of + 256, 1);
      of[0] = 0;
      size[0] = 1, size[1] = 255;
      int classes = 2;
      std::vector<const std::bitset<256> *> seen;
      for (const std::bitset<256> &taken : m_positions)
      {
         bool again = false;
         for (const std::bitset<256> *earlier : seen)
            again = again || *earlier == taken;
         if (again)
            continue;
         seen.push_back(&taken);
         int inside[256] = {};
         for (int b = 1; b < 256; b++)
            if (taken[b])
               inside[of[b]]++;
         int split[256];
         for (int k = 0; k < classes; k++)
            split[k] = (inside[k] > 0 && inside[k] < size[k]) ? classes++ : -1;
         for (int b = 1; b < 256; b++)
         {
            const int to = split[of[b]];
            if (to >= 0 && taken[b])
            {
               size[of[b]]--;
               size[to]++;
               of[b] = to;
            }
         }
      }
      for (int b = 0; b < 256; b++)
         program->byteClass[b] = static_cast<uint8_t>(of[b]);
      program->classes = classes;
   }
};

}   // namespace

/* The compiler reads bytes as this reader does in the "C" locale only. */
bool RegexLocaleIsPlain()
{
   if (MB_CUR_MAX != 1)
      return false;
   const char *codeset = nl_langinfo(CODESET);
   return codeset != nullptr && strcmp(codeset, "ANSI_X3.4-1968") == 0;
}

std::unique_ptr<ORVA_RegexProgram> CompileRegexProgram(const char *pattern, int flags, size_t groups)
{
   if ((flags & ~(REG_EXTENDED | REG_ICASE)) != 0 || !(flags & REG_EXTENDED) || !RegexLocaleIsPlain())
      return nullptr;
   ORVA_RegexTree tree;
   if (!ParseRegexSubset(pattern, (flags & REG_ICASE) != 0, &tree) || static_cast<size_t>(tree.groups) != groups)
      return nullptr;
   std::unique_ptr<ORVA_RegexProgram> program = Builder(tree).Build();
   if (program != nullptr)
      program->groups = groups;
   return program;
}
