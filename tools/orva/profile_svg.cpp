/*
 * A flame graph drawn from folded stacks: the stacks merged into a tree,
 * the root ("all") at the bottom, each frame as wide as its weight and on
 * top of its caller.  The picture needs nothing but a browser: a rectangle
 * and a label per frame, and the frame's numbers in its tooltip.
 */
#include "profile.h"

#include <cinttypes>
#include <cstdio>
#include <map>
#include <vector>

namespace orva_cli
{

namespace
{

const double WIDTH = 1200;
const double SIDE = 10;           // margin left and right
const double TOP = 36;            // room for the title
const double FRAME_HEIGHT = 16;
const double MIN_FRAME_WIDTH = 0.1;   // narrower frames (and what they call) are left out
const double CHAR_WIDTH = 7.2;        // of the 12px monospace labels

struct Frame
{
   std::string name;
   uint64 value = 0;
   std::map<std::string, size_t> children;   // by name: siblings stand in name order
};

// "a;b;c 123" lines into a tree; lines that are not of that form are skipped.
std::vector<Frame> Merge(const std::string &folded)
{
   std::vector<Frame> frames(1);
   frames[0].name = "all";
   size_t start = 0;
   while (start < folded.size())
   {
      size_t end = folded.find('\n', start);
      if (end == std::string::npos)
         end = folded.size();
      const std::string line = folded.substr(start, end - start);
      start = end + 1;
      const size_t space = line.rfind(' ');
      if (space == std::string::npos || space == 0)
         continue;
      const uint64 value = strtoull(line.c_str() + space + 1, nullptr, 10);
      if (value == 0)
         continue;
      size_t at = 0;
      frames[0].value += value;
      for (size_t from = 0; from < space;)
      {
         size_t semi = line.find(';', from);
         if (semi == std::string::npos || semi > space)
            semi = space;
         const std::string name = line.substr(from, semi - from);
         from = semi + 1;
         auto found = frames[at].children.find(name);
         size_t child;
         if (found != frames[at].children.end())
            child = found->second;
         else
         {
            child = frames.size();
            frames[at].children.emplace(name, child);
            frames.emplace_back();
            frames.back().name = name;
         }
         frames[child].value += value;
         at = child;
      }
   }
   return frames;
}

std::string Escaped(const std::string &text)
{
   std::string out;
   for (char c : text)
      switch (c)
      {
         case '&': out += "&amp;"; break;
         case '<': out += "&lt;"; break;
         case '>': out += "&gt;"; break;
         case '"': out += "&quot;"; break;
         case '\'': out += "&apos;"; break;
         default:
            // Control characters are not allowed in XML 1.0 at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
               out += c;
      }
   return out;
}

// Warm colours, the same for a name in every picture.
std::string Colour(const std::string &name)
{
   uint32 hash = 2166136261u;
   for (char c : name)
      hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
   char text[32];
   snprintf(text, sizeof(text), "rgb(%u,%u,%u)", 205 + hash % 50, 80 + (hash >> 8) % 150, (hash >> 16) % 60);
   return text;
}

struct Layout
{
   const std::vector<Frame> &frames;
   double scale;
   double height;
   const char *unit;
   uint64 whole;
   std::string out;

   void Draw(size_t id, double x, uint32 depth)
   {
      const Frame &frame = frames[id];
      const double width = static_cast<double>(frame.value) * scale;
      if (width < MIN_FRAME_WIDTH)
         return;
      const double y = height - SIDE - (depth + 1) * FRAME_HEIGHT;
      char numbers[160];
      snprintf(numbers, sizeof(numbers), " (%" PRIu64 " %s, %.2f%%)", frame.value, unit,
               100.0 * static_cast<double>(frame.value) / static_cast<double>(whole));
      char box[200];
      snprintf(box, sizeof(box), "<rect x=\"%.2f\" y=\"%.1f\" width=\"%.2f\" height=\"%.1f\" rx=\"2\" fill=\"%s\"/>", x,
               y, width, FRAME_HEIGHT - 1, Colour(frame.name).c_str());
      out += "<g><title>" + Escaped(frame.name + numbers) + "</title>" + box;
      const size_t fits = static_cast<size_t>((width - 6) / CHAR_WIDTH);
      // A label cut to fewer than two letters tells nothing: the tooltip has it.
      if (fits >= frame.name.size() || fits >= 4)
      {
         std::string label = frame.name.size() <= fits ? frame.name : frame.name.substr(0, fits - 2) + "..";
         char at[64];
         snprintf(at, sizeof(at), "<text x=\"%.2f\" y=\"%.1f\">", x + 3, y + FRAME_HEIGHT - 4.5);
         out += at + Escaped(label) + "</text>";
      }
      out += "</g>\n";
      double left = x;
      for (const auto &child : frame.children)
      {
         Draw(child.second, left, depth + 1);
         left += static_cast<double>(frames[child.second].value) * scale;
      }
   }
};

uint32 Depth(const std::vector<Frame> &frames, size_t id)
{
   uint32 deepest = 0;
   for (const auto &child : frames[id].children)
   {
      const uint32 depth = Depth(frames, child.second);
      if (depth > deepest)
         deepest = depth;
   }
   return deepest + 1;
}

}

std::string FlameGraphSvg(const std::string &folded, const std::string &title, const char *unit)
{
   const std::vector<Frame> frames = Merge(folded);
   const uint32 depth = Depth(frames, 0);
   const double height = TOP + depth * FRAME_HEIGHT + SIDE;
   char head[512];
   snprintf(head, sizeof(head),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
            "<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
            "viewBox=\"0 0 %.0f %.0f\" style=\"background-color:#f8f8f0\">\n"
            "<style>text{font-family:monospace;font-size:12px;fill:#000}g:hover rect{stroke:#000;stroke-width:0.5}"
            "</style>\n"
            "<text x=\"%.0f\" y=\"22\" text-anchor=\"middle\" style=\"font-size:16px\">",
            WIDTH, height, WIDTH, height, WIDTH / 2);
   Layout layout{frames, 0, height, unit, frames[0].value, head};
   layout.out += Escaped(title) + "</text>\n";
   if (frames[0].value > 0)
   {
      layout.scale = (WIDTH - 2 * SIDE) / static_cast<double>(frames[0].value);
      layout.Draw(0, SIDE, 0);
   }
   layout.out += "</svg>\n";
   return layout.out;
}

}
