-- mandelbrot: the n-by-n bitmap of the Mandelbrot set over [-1.5, 0.5] x
-- [-1, 1], 50 iterations a point.  The bitmap's bytes, eight pixels each as
-- a PBM file packs them, are summed into a checksum instead of written out.
local n = tonumber(arg and arg[1]) or 200
local checksum, black = 0, 0
for y = 0, n - 1 do
   local ci = 2.0 * y / n - 1.0
   local byte, bits = 0, 0
   for x = 0, n - 1 do
      local cr = 2.0 * x / n - 1.5
      local zr, zi, tr, ti = 0.0, 0.0, 0.0, 0.0
      local i = 0
      while i < 50 and tr + ti <= 4.0 do
         zi = 2.0 * zr * zi + ci
         zr = tr - ti + cr
         tr = zr * zr
         ti = zi * zi
         i = i + 1
      end
      byte = byte * 2
      if tr + ti <= 4.0 then
         byte = byte + 1
         black = black + 1
      end
      bits = bits + 1
      if bits == 8 or x == n - 1 then
         while bits < 8 do
            byte = byte * 2
            bits = bits + 1
         end
         checksum = (checksum * 31 + byte) % 1000000007
         byte, bits = 0, 0
      end
   end
end
print("P4 " .. n .. " " .. n)
print("black " .. black .. " checksum " .. checksum)
