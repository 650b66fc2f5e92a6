-- Sieve of Eratosthenes: the primes below n, counted, sieved `rounds` times
-- over an array of flags.
local function sieve(n)
   local composite = {}
   for i = 0, n - 1 do composite[i] = false end
   local count = 0
   for i = 2, n - 1 do
      if not composite[i] then
         count = count + 1
         for j = i * i, n - 1, i do composite[j] = true end
      end
   end
   return count
end

local n = tonumber(arg and arg[1]) or 1000000
local rounds = tonumber(arg and arg[2]) or 1
local count
for _ = 1, rounds do count = sieve(n) end
print("primes below " .. n .. ": " .. count)
