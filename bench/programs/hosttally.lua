-- Host tally: requests and bytes per client address over generated log
-- lines, in a table keyed by the address text.  The lines come from a
-- linear congruential generator; 5,000 addresses.
local lines = tonumber(arg[1]) or 1000
local hits, bytes = {}, {}
local seed = 42
for _ = 1, lines do
  seed = (seed * 3877 + 29573) % 139968
  local client = seed % 5000
  local address = "10.0." .. (client // 250) .. "." .. (client % 250)
  hits[address] = (hits[address] or 0) + 1
  bytes[address] = (bytes[address] or 0) + seed % 1500
end
local distinct, total = 0, 0
for address in pairs(hits) do
  distinct = distinct + 1
  total = total + bytes[address]
end
print(string.format("%d addresses, %d bytes", distinct, total))
print(string.format("10.0.0.1: %d requests, %d bytes", hits["10.0.0.1"], bytes["10.0.0.1"]))
print(string.format("10.0.19.249: %d requests", hits["10.0.19.249"]))
