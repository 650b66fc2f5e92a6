-- Built-in calls: sub, upper and length on short pieces of a text.
local n = tonumber(arg and arg[1]) or 100000
local s = "The quick brown fox jumps over the lazy dog"
local total, hits = 0, 0
for i = 0, n - 1 do
   local start = i % 40 + 1
   local piece = s:sub(start, start + 3):upper()
   total = total + #piece
   if piece == "OVER" then hits = hits + 1 end
end
print(total .. " " .. hits)
