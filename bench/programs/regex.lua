-- Lua has no regular expressions; its own patterns do the same work here.
local hits, total = 0, 0
for i = 0, 19999 do
   local line = "host" .. i .. ".example.com port=" .. (i % 1000)
   local a, b = string.match(line, "^host(%d+)%.example%.com port=(%d+)$")
   if a then
      total = total + tonumber(b)
      hits = hits + 1
   end
end
print(hits .. " " .. total)
