local sum = 0
local i = 0
while i < 3000000 do
   sum = sum + i * 3 % 7
   i = i + 1
end
print(sum)
