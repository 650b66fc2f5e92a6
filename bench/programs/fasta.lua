-- fasta: DNA sequences in FASTA format, one repeated from a fixed text and
-- two drawn at random, through a linear congruential generator, from tables
-- of nucleotide probabilities.
local ALU = "GGCCGGGCGCGGTGGCTCACGCCTGTAATCCCAGCACTTTGG" ..
            "GAGGCCGAGGCGGGCGGATCACCTGAGGTCAGGAGTTCGAGA" ..
            "CCAGCCTGGCCAACATGGTGAAACCCCGTCTCTACTAAAAAT" ..
            "ACAAAAATTAGCCGGGCGTGGTGGCGCGCGCCTGTAATCCCA" ..
            "GCTACTCGGGAGGCTGAGGCAGGAGAATCGCTTGAACCCGGG" ..
            "AGGCGGAGGTTGCAGTGAGCCGAGATCGCGCCACTGCACTCC" ..
            "AGCCTGGGCGACAGAGCGAGACTCCGTCTCAAAAA"

local IUB = { "a", "c", "g", "t", "B", "D", "H", "K", "M", "N", "R", "S", "V", "W", "Y" }
local IUB_P = { 0.27, 0.12, 0.12, 0.27, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02, 0.02 }
local HOMO = { "a", "c", "g", "t" }
local HOMO_P = { 0.3029549426680, 0.1979883004921, 0.1975473066391, 0.3015094502008 }

local last = 42

local function repeatFasta(source, n)
   local width, size, k = 60, #source, 0
   while n > 0 do
      local m = n < width and n or width
      local line
      if k + m <= size then
         line = source:sub(k + 1, k + m)
      else
         line = source:sub(k + 1) .. source:sub(1, k + m - size)
      end
      io.write(line, "\n")
      k = (k + m) % size
      n = n - m
   end
end

local function randomFasta(letters, probabilities, n)
   local count = #letters
   local cumulative, total = {}, 0.0
   for i = 1, count do
      total = total + probabilities[i]
      cumulative[i] = total
   end
   local parts = {}
   while n > 0 do
      local m = n < 60 and n or 60
      for i = 1, m do
         last = (last * 3877 + 29573) % 139968
         local r = last / 139968
         local c = 1
         while c < count and cumulative[c] <= r do c = c + 1 end
         parts[i] = letters[c]
      end
      io.write(table.concat(parts, "", 1, m), "\n")
      n = n - m
   end
end

local n = tonumber(arg and arg[1]) or 1000
io.write(">ONE Homo sapiens alu\n")
repeatFasta(ALU, 2 * n)
io.write(">TWO IUB ambiguity codes\n")
randomFasta(IUB, IUB_P, 3 * n)
io.write(">THREE Homo sapiens frequency\n")
randomFasta(HOMO, HOMO_P, 5 * n)
