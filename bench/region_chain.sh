#!/usr/bin/env bash
# The data chain at the size of a region, run by hand (it needs minutes and a few
# GB): the built-in town of about SIZE links (default 3,300,000, some 3,000,000
# links) written as OpenStreetMap PBF, then `discmaker --osm` and `mkmaps` on it,
# each measured with /usr/bin/time -v, then `mapstat` reading the device files back:
# its link count and km per road class must be those discmaker printed.
#   bench/region_chain.sh [SIZE [WORK]]
set -euo pipefail
cd "$(dirname "$0")/.."

size="${1:-3300000}"
work="${2:-build/release/region-chain}"
bin=build/release/bin

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target discmaker mkmaps mapstat >/dev/null

rm -rf "$work"
mkdir -p "$work"
measure() {  # label, command...: prints the seconds and the peak memory
  local label="$1"
  shift
  /usr/bin/time -v "$@" >"$work/$label.out" 2>"$work/$label.time"
  local seconds peak
  seconds=$(grep 'Elapsed (wall clock)' "$work/$label.time" | awk '{print $NF}')
  peak=$(grep 'Maximum resident set size' "$work/$label.time" | awk '{print $NF}')
  echo "$label: $seconds wall clock, peak $((peak / 1024)) MB"
}

echo "region chain: the town of about $size links as PBF, into $work"
"$bin/discmaker" --town 7 --size "$size" --osm-out "$work/town.osm.pbf" "$work/town-discs" |
  tail -n 1
rm -rf "$work/town-discs"

measure discmaker "$bin/discmaker" --osm "$work/town.osm.pbf" "$work/discs"
tail -n 1 "$work/discmaker.out"
measure mkmaps "$bin/mkmaps" --disc "$work/discs" --to "$work/maps"
tail -n 1 "$work/mkmaps.out"
"$bin/mapstat" --json "$work/maps" >"$work/mapstat.json"

# discmaker's links and km per class against what mapstat reads back (its classes
# 1 to 5: freeway, highway, arterial and collector together, street, minor).
python3 - "$work/discmaker.out" "$work/mapstat.json" <<'PY'
import json, re, sys
line = open(sys.argv[1]).read().strip().splitlines()[-1]
links = int(re.search(r"links (\d+)", line).group(1))
km = {k: float(v) for k, v in re.findall(r"(freeway|highway|arterial|collector|street|minor) ([0-9.]+)", line)}
built = [km["freeway"], km["highway"], km["arterial"] + km["collector"], km["street"], km["minor"]]
network = json.load(open(sys.argv[2]))["network"]
read = {c["class"]: c for c in network["classes"]}
ok = network["links"] == links
print(f"links: discmaker {links}, mapstat {network['links']}")
for value, expected in zip(range(1, 6), built):
    got = read.get(value, {"km": 0.0})["km"]
    same = abs(got - expected) <= 0.15 + 1e-6 * expected  # the printed km are rounded
    ok = ok and same
    print(f"class {value}: discmaker {expected:.1f} km, mapstat {got:.1f} km{'' if same else '  DIFFERENT'}")
sys.exit(0 if ok else 1)
PY
