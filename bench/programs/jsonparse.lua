-- A JSON-like parser: generated records (objects, arrays, texts with escapes,
-- integers, true/false/null), each parsed character by character into nested
-- tables, with counts of what was met and the sum of every record's "score".
local WORDS = { "alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa", "lambda", "mu" }

local seed = 42
local function nextRandom(limit)
   seed = (seed * 3877 + 29573) % 139968
   return seed % limit
end

local function makeRecord(k)
   local text = "{\"id\": " .. k .. ", \"name\": \"" .. WORDS[nextRandom(12) + 1] .. "_" .. k .. "\""
   text = text .. ", \"score\": " .. (nextRandom(2001) - 1000)
   text = text .. ", \"active\": " .. (nextRandom(2) == 1 and "true" or "false")
   text = text .. ", \"tags\": ["
   for t = 0, nextRandom(4) do
      if t > 0 then text = text .. ", " end
      text = text .. "\"" .. WORDS[nextRandom(12) + 1] .. "\""
   end
   text = text .. "], \"point\": {\"x\": " .. nextRandom(1000) .. ", \"y\": " .. (nextRandom(1000) - 500) .. "}"
   text = text .. ", \"history\": ["
   for h = 0, nextRandom(4) - 1 do
      if h > 0 then text = text .. ", " end
      text = text .. "[" .. nextRandom(100) .. ", " .. nextRandom(100) .. ", null]"
   end
   return text .. "], \"note\": \"say \\\"" .. WORDS[nextRandom(12) + 1] .. "\\\" twice\"}"
end

-- objects, arrays, texts, text bytes, numbers, number sum, literals, depth
local stats = { 0, 0, 0, 0, 0, 0, 0, 0 }
local s, pos

local function skipBlanks()
   while s:sub(pos, pos) == " " do pos = pos + 1 end
end

local function parseText()
   pos = pos + 1   -- the opening quote
   local chars = ""
   while true do
      local c = s:sub(pos, pos)
      pos = pos + 1
      if c == "\"" then break end
      if c == "\\" then
         c = s:sub(pos, pos)
         pos = pos + 1
      end
      chars = chars .. c
   end
   stats[3] = stats[3] + 1
   stats[4] = stats[4] + #chars
   return chars
end

local parseValue

local function parseObject(depth)
   local node = {}
   stats[1] = stats[1] + 1
   pos = pos + 1
   skipBlanks()
   if s:sub(pos, pos) == "}" then
      pos = pos + 1
      return node
   end
   while true do
      skipBlanks()
      node[#node + 1] = parseText()
      skipBlanks()
      pos = pos + 1   -- the colon
      node[#node + 1] = parseValue(depth + 1)
      skipBlanks()
      local c = s:sub(pos, pos)
      pos = pos + 1
      if c == "}" then return node end
   end
end

local function parseArray(depth)
   local node = {}
   stats[2] = stats[2] + 1
   pos = pos + 1
   skipBlanks()
   if s:sub(pos, pos) == "]" then
      pos = pos + 1
      return node
   end
   while true do
      node[#node + 1] = parseValue(depth + 1)
      skipBlanks()
      local c = s:sub(pos, pos)
      pos = pos + 1
      if c == "]" then return node end
   end
end

parseValue = function(depth)
   if depth > stats[8] then stats[8] = depth end
   skipBlanks()
   local c = s:sub(pos, pos)
   if c == "{" then return parseObject(depth) end
   if c == "[" then return parseArray(depth) end
   if c == "\"" then return parseText() end
   if c == "t" or c == "f" or c == "n" then
      stats[7] = stats[7] + 1
      local word = c == "t" and "true" or c == "f" and "false" or "null"
      pos = pos + #word
      return word
   end
   -- A number runs to the next delimiter.
   local start = pos
   c = s:sub(pos, pos)
   while c ~= "," and c ~= "]" and c ~= "}" and c ~= " " do
      pos = pos + 1
      c = s:sub(pos, pos)
   end
   local number = tonumber(s:sub(start, pos - 1))
   stats[5] = stats[5] + 1
   stats[6] = stats[6] + number
   return number
end

local records = tonumber(arg and arg[1]) or 1000
local scores = 0
for k = 0, records - 1 do
   s, pos = makeRecord(k), 1
   local record = parseValue(1)
   -- Fields alternate with their names.
   for i = 1, #record, 2 do
      if record[i] == "score" then scores = scores + record[i + 1] end
   end
end
print("records " .. records .. " objects " .. stats[1] .. " arrays " .. stats[2] .. " texts " .. stats[3] ..
      " bytes " .. stats[4])
print("numbers " .. stats[5] .. " sum " .. stats[6] .. " literals " .. stats[7] .. " depth " .. stats[8] ..
      " scores " .. scores)
