-- A text of n characters scanned one character at a time with string.sub.
local n = tonumber(arg[1])
local parts = {}
for i = 1, n // 10 do parts[i] = "abcdefghij" end
local s = table.concat(parts)
local count = 0
for i = 1, n do
   if string.sub(s, i, i) == "e" then count = count + 1 end
end
print(count)
