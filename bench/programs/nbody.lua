-- n-body: the Jovian planets orbiting the sun, advanced n steps.  Distances
-- take d2 ^ 0.5 (the C library's pow), as the ORVA twin must.
local PI = 3.141592653589793
local SOLAR_MASS = 4.0 * PI * PI
local DAYS_PER_YEAR = 365.24

local function body(x, y, z, vx, vy, vz, mass)
   return { x = x, y = y, z = z,
            vx = vx * DAYS_PER_YEAR, vy = vy * DAYS_PER_YEAR, vz = vz * DAYS_PER_YEAR,
            mass = mass * SOLAR_MASS }
end

local bodies = {
   body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0),
   body(4.84143144246472090, -1.16032004402742839, -0.103622044471123109,
        0.00166007664274403694, 0.00769901118419740425, -0.0000690460016972063023,
        0.000954791938424326609),
   body(8.34336671824457987, 4.12479856412430479, -0.403523417114321381,
        -0.00276742510726862411, 0.00499852801234917238, 0.0000230417297573763929,
        0.000285885980666130812),
   body(12.8943695621391310, -15.1111514016986312, -0.223307578892655734,
        0.00296460137564761618, 0.00237847173959480950, -0.0000296589568540237556,
        0.0000436624404335156298),
   body(15.3796971148509165, -25.9193146099879641, 0.179258772950371181,
        0.00268067772490389322, 0.00162824170038242295, -0.0000951592254519715870,
        0.0000515138902046611451),
}

local function energy(bodies)
   local e = 0.0
   local count = #bodies
   for i = 1, count do
      local b = bodies[i]
      e = e + 0.5 * b.mass * (b.vx * b.vx + b.vy * b.vy + b.vz * b.vz)
      for j = i + 1, count do
         local b2 = bodies[j]
         local dx, dy, dz = b.x - b2.x, b.y - b2.y, b.z - b2.z
         e = e - b.mass * b2.mass / (dx * dx + dy * dy + dz * dz) ^ 0.5
      end
   end
   return e
end

local function advance(bodies, dt)
   local count = #bodies
   for i = 1, count do
      local b = bodies[i]
      local bx, by, bz, bm = b.x, b.y, b.z, b.mass
      local bvx, bvy, bvz = b.vx, b.vy, b.vz
      for j = i + 1, count do
         local b2 = bodies[j]
         local dx, dy, dz = bx - b2.x, by - b2.y, bz - b2.z
         local d2 = dx * dx + dy * dy + dz * dz
         local mag = dt / (d2 * d2 ^ 0.5)
         local bmag = bm * mag
         local b2mag = b2.mass * mag
         bvx = bvx - dx * b2mag
         bvy = bvy - dy * b2mag
         bvz = bvz - dz * b2mag
         b2.vx = b2.vx + dx * bmag
         b2.vy = b2.vy + dy * bmag
         b2.vz = b2.vz + dz * bmag
      end
      b.vx, b.vy, b.vz = bvx, bvy, bvz
      b.x = bx + dt * bvx
      b.y = by + dt * bvy
      b.z = bz + dt * bvz
   end
end

-- Offset the sun's momentum so that the system's centre stays put.
local px, py, pz = 0.0, 0.0, 0.0
for _, b in ipairs(bodies) do
   px = px + b.vx * b.mass
   py = py + b.vy * b.mass
   pz = pz + b.vz * b.mass
end
bodies[1].vx = -px / SOLAR_MASS
bodies[1].vy = -py / SOLAR_MASS
bodies[1].vz = -pz / SOLAR_MASS

local n = tonumber(arg and arg[1]) or 1000
print(string.format("%0.9f", energy(bodies)))
for _ = 1, n do advance(bodies, 0.01) end
print(string.format("%0.9f", energy(bodies)))
