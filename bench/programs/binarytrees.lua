-- binary-trees: allocate and walk many perfect binary trees.  A node is a
-- table holding its two children; a leaf is an empty table.
local function bottomUp(depth)
   if depth > 0 then
      return { bottomUp(depth - 1), bottomUp(depth - 1) }
   end
   return {}
end

local function check(node)
   local left = node[1]
   if left == nil then return 1 end
   return 1 + check(left) + check(node[2])
end

local n = tonumber(arg and arg[1]) or 10
local minDepth = 4
local maxDepth = n
if minDepth + 2 > n then maxDepth = minDepth + 2 end

local stretchDepth = maxDepth + 1
print("stretch tree of depth " .. stretchDepth .. "\t check: " .. check(bottomUp(stretchDepth)))

local longLived = bottomUp(maxDepth)

for depth = minDepth, maxDepth, 2 do
   local iterations = 1 << (maxDepth - depth + minDepth)
   local sum = 0
   for _ = 1, iterations do
      sum = sum + check(bottomUp(depth))
   end
   print(iterations .. "\t trees of depth " .. depth .. "\t check: " .. sum)
end
print("long lived tree of depth " .. maxDepth .. "\t check: " .. check(longLived))
