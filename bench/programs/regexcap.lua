-- Regular expressions: a match with one captured group over log lines (Lua
-- has no regular expressions; its own patterns do the same work here).
local n = tonumber(arg and arg[1]) or 100000
local lines = {}
for k = 0, 63 do
   lines[k] = "user" .. k .. " session=" .. (k * 7919 % 100000) .. " status=" .. (k % 5 == 0 and "failed" or "ok")
end
local hits, total = 0, 0
for i = 0, n - 1 do
   local session = lines[i % 64]:match("session=(%d+) status=ok")
   if session then
      total = total + tonumber(session)
      hits = hits + 1
   end
end
print(hits .. " " .. total)
