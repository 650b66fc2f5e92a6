-- matrix-norm: the largest singular value of the infinite matrix
-- A(i, j) = 1 / ((i + j) * (i + j + 1) / 2 + i + 1), by the power method.

-- out = A * v
local function multiplyAv(n, v, out)
   for i = 0, n - 1 do
      local sum = 0.0
      for j = 0, n - 1 do
         local ij = i + j
         sum = sum + v[j] / (ij * (ij + 1) / 2 + i + 1)
      end
      out[i] = sum
   end
end

-- out = transpose(A) * v
local function multiplyAtv(n, v, out)
   for i = 0, n - 1 do
      local sum = 0.0
      for j = 0, n - 1 do
         local ij = i + j
         sum = sum + v[j] / (ij * (ij + 1) / 2 + j + 1)
      end
      out[i] = sum
   end
end

-- out = transpose(A) * A * v
local function multiplyAtAv(n, v, out, scratch)
   multiplyAv(n, v, scratch)
   multiplyAtv(n, scratch, out)
end

local n = tonumber(arg and arg[1]) or 100
local u, v, scratch = {}, {}, {}
for i = 0, n - 1 do u[i] = 1.0 end
for _ = 1, 10 do
   multiplyAtAv(n, u, v, scratch)
   multiplyAtAv(n, v, u, scratch)
end
local vBv, vv = 0.0, 0.0
for i = 0, n - 1 do
   vBv = vBv + u[i] * v[i]
   vv = vv + v[i] * v[i]
end
print(string.format("%0.9f", (vBv / vv) ^ 0.5))
