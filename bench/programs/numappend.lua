-- n appends of "0123456789" (Lua builds the text in a table, its idiom).
local n = tonumber(arg[1])
local parts = {}
for i = 1, n do parts[#parts + 1] = "0123456789" end
print(#table.concat(parts))
