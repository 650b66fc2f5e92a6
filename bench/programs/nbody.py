# n-body: the Jovian planets orbiting the sun, advanced n steps.  Distances
# take d2 ** 0.5 (the C library's pow), as the ORVA twin must.
import sys

PI = 3.141592653589793
SOLAR_MASS = 4.0 * PI * PI
DAYS_PER_YEAR = 365.24


class Body:
    __slots__ = ("x", "y", "z", "vx", "vy", "vz", "mass")

    def __init__(self, x, y, z, vx, vy, vz, mass):
        self.x, self.y, self.z = x, y, z
        self.vx = vx * DAYS_PER_YEAR
        self.vy = vy * DAYS_PER_YEAR
        self.vz = vz * DAYS_PER_YEAR
        self.mass = mass * SOLAR_MASS


def energy(bodies):
    e = 0.0
    count = len(bodies)
    for i in range(count):
        b = bodies[i]
        e = e + 0.5 * b.mass * (b.vx * b.vx + b.vy * b.vy + b.vz * b.vz)
        for j in range(i + 1, count):
            b2 = bodies[j]
            dx, dy, dz = b.x - b2.x, b.y - b2.y, b.z - b2.z
            e = e - b.mass * b2.mass / (dx * dx + dy * dy + dz * dz) ** 0.5
    return e


def advance(bodies, dt):
    count = len(bodies)
    for i in range(count):
        b = bodies[i]
        bx, by, bz, bm = b.x, b.y, b.z, b.mass
        bvx, bvy, bvz = b.vx, b.vy, b.vz
        for j in range(i + 1, count):
            b2 = bodies[j]
            dx, dy, dz = bx - b2.x, by - b2.y, bz - b2.z
            d2 = dx * dx + dy * dy + dz * dz
            mag = dt / (d2 * d2 ** 0.5)
            bmag = bm * mag
            b2mag = b2.mass * mag
            bvx = bvx - dx * b2mag
            bvy = bvy - dy * b2mag
            bvz = bvz - dz * b2mag
            b2.vx = b2.vx + dx * bmag
            b2.vy = b2.vy + dy * bmag
            b2.vz = b2.vz + dz * bmag
        b.vx, b.vy, b.vz = bvx, bvy, bvz
        b.x = bx + dt * bvx
        b.y = by + dt * bvy
        b.z = bz + dt * bvz


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    bodies = [
        Body(0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0),
        Body(4.84143144246472090, -1.16032004402742839, -0.103622044471123109,
             0.00166007664274403694, 0.00769901118419740425, -0.0000690460016972063023,
             0.000954791938424326609),
        Body(8.34336671824457987, 4.12479856412430479, -0.403523417114321381,
             -0.00276742510726862411, 0.00499852801234917238, 0.0000230417297573763929,
             0.000285885980666130812),
        Body(12.8943695621391310, -15.1111514016986312, -0.223307578892655734,
             0.00296460137564761618, 0.00237847173959480950, -0.0000296589568540237556,
             0.0000436624404335156298),
        Body(15.3796971148509165, -25.9193146099879641, 0.179258772950371181,
             0.00268067772490389322, 0.00162824170038242295, -0.0000951592254519715870,
             0.0000515138902046611451),
    ]
    # Offset the sun's momentum so that the system's centre stays put.
    px = py = pz = 0.0
    for b in bodies:
        px = px + b.vx * b.mass
        py = py + b.vy * b.mass
        pz = pz + b.vz * b.mass
    bodies[0].vx = -px / SOLAR_MASS
    bodies[0].vy = -py / SOLAR_MASS
    bodies[0].vz = -pz / SOLAR_MASS

    print("%.9f" % energy(bodies))
    for _ in range(n):
        advance(bodies, 0.01)
    print("%.9f" % energy(bodies))


main()
