local a = {}
local n = 100000
local i = 0
while i < n do a[i] = i * 2; i = i + 1 end
local sum = 0
for round = 1, 5 do
   i = 0
   while i < n do sum = sum + a[i]; i = i + 1 end
end
print(sum)
