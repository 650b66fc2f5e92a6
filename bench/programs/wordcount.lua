-- Word count: lines, words and bytes of a generated text, as wc counts
-- them, and how many words have each length.  The text comes line by line
-- from a linear congruential generator picking words from a vocabulary,
-- and each line is scanned character by character.
local vocabulary = { "the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "a", "interpreter",
                     "of", "embedded", "scripts", "runs", "with", "host", "functions", "and", "arrays", "in" }
local size = #vocabulary
local lines = tonumber(arg and arg[1]) or 1000
local seed = 42
local lengths = {}
for i = 0, 31 do lengths[i] = 0 end

local totalLines, totalWords, totalBytes, longest = 0, 0, 0, 0
for _ = 1, lines do
   -- One line of 5 to 16 words, separated by one or two blanks.
   seed = (seed * 3877 + 29573) % 139968
   local count = 5 + seed % 12
   local line = ""
   for w = 0, count - 1 do
      seed = (seed * 3877 + 29573) % 139968
      if w > 0 then
         line = line .. (seed % 7 == 0 and "  " or " ")
      end
      line = line .. vocabulary[seed % size + 1]
   end

   -- Count it.
   local n = #line
   local inWord, wordLength = false, 0
   for i = 1, n do
      local c = line:sub(i, i)
      if c == " " then
         if inWord then
            lengths[wordLength] = lengths[wordLength] + 1
            if wordLength > longest then longest = wordLength end
            inWord = false
         end
      else
         if not inWord then
            totalWords = totalWords + 1
            inWord = true
            wordLength = 0
         end
         wordLength = wordLength + 1
      end
   end
   if inWord then
      lengths[wordLength] = lengths[wordLength] + 1
      if wordLength > longest then longest = wordLength end
   end
   totalLines = totalLines + 1
   totalBytes = totalBytes + n + 1
end

print(totalLines .. " " .. totalWords .. " " .. totalBytes)
for i = 1, longest do
   if lengths[i] > 0 then print("length " .. i .. ": " .. lengths[i]) end
end
