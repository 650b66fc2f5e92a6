-- fannkuch-redux: flips of pancake stacks over all permutations of 1..n.
local function fannkuch(n)
   local perm, perm1, count = {}, {}, {}
   for i = 0, n - 1 do perm1[i] = i end
   local maxFlips, checksum, permCount, r = 0, 0, 0, n
   while true do
      while r ~= 1 do
         count[r - 1] = r
         r = r - 1
      end
      for i = 0, n - 1 do perm[i] = perm1[i] end
      local flips = 0
      local k = perm[0]
      while k ~= 0 do
         local i, j = 0, k
         while i < j do
            perm[i], perm[j] = perm[j], perm[i]
            i = i + 1
            j = j - 1
         end
         flips = flips + 1
         k = perm[0]
      end
      if flips > maxFlips then maxFlips = flips end
      if permCount % 2 == 0 then checksum = checksum + flips else checksum = checksum - flips end

      -- The next permutation in the counting order.
      while true do
         if r == n then return checksum, maxFlips end
         local perm0 = perm1[0]
         for i = 0, r - 1 do perm1[i] = perm1[i + 1] end
         perm1[r] = perm0
         count[r] = count[r] - 1
         if count[r] > 0 then break end
         r = r + 1
      end
      permCount = permCount + 1
   end
end

local n = tonumber(arg and arg[1]) or 7
local checksum, maxFlips = fannkuch(n)
print(checksum)
print("Pfannkuchen(" .. n .. ") = " .. maxFlips)
