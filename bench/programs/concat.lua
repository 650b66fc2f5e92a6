local s = ""
local i = 0
while i < 20000 do
   s = s .. i .. ","
   i = i + 1
end
print(#s)
