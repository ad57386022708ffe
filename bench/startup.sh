#!/usr/bin/env bash
# Start-up, whole process, side by side in one run (by hand, release preset; never
# in CI). On the shared data's Andorra extract:
#   1. `route --maps MAPS --from A --to B --method shortest` for the first 20 of the
#      route tests' seeded pairs, each against `routino-router --shortest` on a
#      database `planetsplitter` makes here (skipped when Routino is not installed),
#      and `true` as the floor of a process started the same way;
#   2. `mapstat`, `geocode --at` and `render` on the same maps;
#   3. the navigation program's launch (`pathlumeVGA.exe nowarning`, the script
#      `idle close`) headless, exec to exit;
#   4. under Xvfb (skipped without it): the same launch in a window, exec to exit, and
#      the time from the spawn to its first complete map frame on the X screen (the
#      screen changed and then held still 300 ms), against Navit's first map on the
#      same screen (its map made by `maptool`; skipped when Navit is not installed);
#   5. the route tool's in-process medians over 1,000 pairs on Andorra and
#      north-bayreuth (route_pairs_bench).
# Each figure is the median of RUNS runs (default 7); a query's figure is the median
# over the pairs of each pair's median. Peak memory is the largest of the runs.
#   bench/startup.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-7}"
bin=build/release/bin
data="${PATHLUME_SHARED_DATA:-../shared/data}"
osm="$data/osm/andorra.osm.pbf"
if [ ! -f "$osm" ]; then
  echo "startup: $osm is absent (set PATHLUME_SHARED_DATA); nothing measured"
  exit 0
fi
osm="$(cd "$(dirname "$osm")" && pwd)/$(basename "$osm")"

cmake --preset release >/dev/null
# The whole preset: make-device needs every program and helper a device root holds.
cmake --build --preset release -j 4 >/dev/null

work="$(mktemp -d /tmp/pathlume-startup.XXXXXX)"
cleanup() {
  # The X server the measurements start, should they end early.
  [ ! -f "$work/xvfb.pid" ] || kill "$(cat "$work/xvfb.pid")" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "startup: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $runs runs each"
echo "== route in-process (route_pairs_bench, 1,000 pairs)"
"$bin/route_pairs_bench" "$work/pairs" | grep -v '^kept in'
maps="$work/pairs/andorra/Maps"
head -n 21 "$work/pairs/andorra/pairs.csv" | tail -n 20 >"$work/pairs20.csv"

routino=""
if command -v planetsplitter >/dev/null && command -v routino-router >/dev/null; then
  mkdir -p "$work/routino"
  planetsplitter --dir="$work/routino" --prefix=andorra --loggable "$osm" >/dev/null
  routino="$work/routino"
fi

scripts/make-device --osm "$osm" --preset release "$work/root" >/dev/null
# The receiver on a port, so that no Bluetooth box waits in front of the map.
"$bin/devroot" "$work/root" set 'HKCU\Software\Zanterhoff\Wayscribe' CommPort dword:1 >/dev/null

navit_config=""
if command -v navit >/dev/null && command -v maptool >/dev/null && command -v Xvfb >/dev/null; then
  mkdir -p "$work/navit/home"
  # maptool leaves its scratch files in the folder it runs in.
  (cd "$work/navit" && maptool --protobuf -i "$osm" andorra.bin >/dev/null 2>&1)
  # The installed configuration, centred on Andorra la Vella with the Andorra map
  # alone and no receiver.
  sed -e 's|center="[^"]*"|center="1.5218 42.5063"|' \
      -e 's|zoom="256"|zoom="16"|' \
      -e 's|enabled="yes" active="1" source="gpsd://localhost"|enabled="no" active="0" source="gpsd://localhost"|' \
      -e 's|<xi:include href="\$NAVIT_SHAREDIR/maps/\*.xml"/>|<map type="binfile" enabled="yes" data="'"$work"'/navit/andorra.bin"/>|' \
      /etc/navit/navit.xml >"$work/navit/navit.xml"
  navit_config="$work/navit/navit.xml"
fi

python3 - "$runs" "$bin" "$maps" "$work" "$routino" "$navit_config" <<'PY'
import mmap, os, signal, statistics, subprocess, sys, time, zlib

runs, bin_dir, maps, work, routino, navit_config = sys.argv[1:7]
runs = int(runs)
bin_dir = os.path.abspath(bin_dir)
root = os.path.join(work, "root")


def run(cmd, env=None):
    """Wall seconds from spawn to exit."""
    start = time.monotonic()
    status = subprocess.call(cmd, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=work)
    elapsed = time.monotonic() - start
    if status != 0:
        sys.exit(f"startup: {' '.join(cmd)} exited with {status}")
    return elapsed


def peak_mb(cmd, env=None):
    """The peak memory of one more run, read by GNU time: a child's own figure counts
    the spawning interpreter's memory too."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    out = os.path.join(work, "peak.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out] + cmd, env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, cwd=work, check=True)
    return int(open(out).read().split()[-1]) / 1024.0


def medians(cmd, env=None):
    times = [run(cmd, env) for _ in range(runs + 1)][1:]  # the first warms the caches
    return statistics.median(times) * 1000, peak_mb(cmd, env)


def show(label, ms, peak, against=None):
    ratio = f", {ms / against:.2f} times the peer" if against else ""
    print(f"{label}: median {ms:.1f} ms, peak {peak:.1f} MB{ratio}")


print("== route whole process, 20 Andorra pairs, shortest")
pairs = [line.strip().split(",") for line in open(os.path.join(work, "pairs20.csv"))]
ours, theirs, peaks = [], [], [0.0, 0.0]
for a_lat, a_lon, b_lat, b_lon in pairs:
    ms, peak = medians([f"{bin_dir}/route", "--maps", maps, "--from", f"{a_lat},{a_lon}",
                        "--to", f"{b_lat},{b_lon}", "--method", "shortest"])
    ours.append(ms)
    peaks[0] = max(peaks[0], peak)
    if routino:
        # The pairs run one by one, alternating, so that a drift of the machine's
        # speed touches both.
        ms, peak = medians(["routino-router", f"--dir={routino}", "--prefix=andorra",
                            "--transport=motorcar", "--shortest", "--output-text",
                            "--output-stdout", f"--lat1={a_lat}", f"--lon1={a_lon}",
                            f"--lat2={b_lat}", f"--lon2={b_lon}"])
        theirs.append(ms)
        peaks[1] = max(peaks[1], peak)
if theirs:
    show("routino-router", statistics.median(theirs), peaks[1])
show("route", statistics.median(ours), peaks[0],
     statistics.median(theirs) if theirs else None)
# The floor of any process the same way: spawn, the loader and libc's start, exit.
show("true (an empty process)", *medians(["true"]))

print("== tools whole process, Andorra")
show("mapstat", *medians([f"{bin_dir}/mapstat", maps]))
show("geocode --at", *medians([f"{bin_dir}/geocode", "--maps", maps, "--at", "42.5063,1.5218"]))
show("render", *medians([f"{bin_dir}/render", "--maps", maps, "--at", "42.5063,1.5218",
                         "--out", os.path.join(work, "frame.png")]))

print("== the navigation program's launch, Andorra")
script = os.path.join(work, "idle-close.txt")
with open(script, "w") as f:
    f.write("idle close\n")
program = [f"{bin_dir}/pathlumeVGA.exe", "nowarning"]
env = dict(os.environ, PATHLUME_DEVICE=root, PATHLUME_SCRIPT=script)
env.pop("PATHLUME_BACKEND", None)
show("headless, exec to exit", *medians(program, env))

xvfb = "/usr/bin/Xvfb"
if not os.path.exists(xvfb):
    print("in a window: skipped, Xvfb is not installed")
    sys.exit(0)
display = f":{90 + os.getpid() % 100}"
fbdir = os.path.join(work, "fb")
os.makedirs(fbdir)
server = subprocess.Popen([xvfb, display, "-screen", "0", "1024x768x24", "-fbdir", fbdir,
                           "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
with open(os.path.join(work, "xvfb.pid"), "w") as f:
    f.write(str(server.pid))
screen_file = os.path.join(fbdir, "Xvfb_screen0")
deadline = time.monotonic() + 10
while not os.path.exists(screen_file) and time.monotonic() < deadline:
    time.sleep(0.05)
time.sleep(0.5)
screen = mmap.mmap(os.open(screen_file, os.O_RDONLY), 0, prot=mmap.PROT_READ)
header = int.from_bytes(screen[0:4], "big") + 12 * int.from_bytes(screen[76:80], "big")


def picture():
    # One channel of every 13th pixel: a change anywhere that matters shows.
    return zlib.crc32(screen[header + 1::52])


def first_frame(cmd, env, stop):
    """Spawn to the first screen that differs from the empty one and holds 300 ms."""
    empty = picture()
    start = time.monotonic()
    child = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=work)
    last, changed, found = empty, start, None
    while time.monotonic() - start < 20:
        now = time.monotonic()
        current = picture()
        if current != last:
            last, changed = current, now
        elif current != empty and now - changed >= 0.3:
            found = changed - start
            break
        if child.poll() is not None:
            break
        time.sleep(0.001)
    stop(child)
    child.wait()
    deadline = time.monotonic() + 5
    while picture() != empty and time.monotonic() < deadline:
        time.sleep(0.01)
    if found is None:
        sys.exit(f"startup: {cmd[0]} showed no settled frame")
    return found * 1000


def median_frame(cmd, env, stop):
    return statistics.median([first_frame(cmd, env, stop) for _ in range(runs + 1)][1:])


# The window chosen by the display, as on a desktop (a run that could not open it would
# show no frame and stop the benchmark).
window_env = dict(env, DISPLAY=display)
window_env.pop("SDL_VIDEODRIVER", None)
show("in a window, exec to exit", *medians(program, window_env))
hold = os.path.join(work, "hold-close.txt")
with open(hold, "w") as f:
    f.write("at 1500 close\n")
ours_ms = median_frame(program, dict(window_env, PATHLUME_SCRIPT=hold), lambda child: child.wait())
navit_ms = None
if navit_config:
    navit_env = dict(os.environ, DISPLAY=display, HOME=os.path.join(work, "navit", "home"))
    navit_ms = median_frame(["navit", navit_config], navit_env,
                            lambda child: child.send_signal(signal.SIGTERM))
    print(f"navit, spawn to first map frame: median {navit_ms:.1f} ms")
else:
    print("navit: skipped, Navit or maptool is not installed")
ratio = f", {ours_ms / navit_ms:.2f} times Navit's" if navit_ms else ""
print(f"in a window, spawn to first map frame: median {ours_ms:.1f} ms{ratio}")
server.terminate()
server.wait()
PY
