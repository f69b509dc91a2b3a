#!/usr/bin/env bash
# Times the exports of dinfo.dll under Wine and of libdinfo.so natively in
# one run, each beside its own platform's floor (bench/side_by_side): the
# call's own opens, reads and blocks, recorded from the DLL's imports and
# replayed (Windows: CreateFileW, SetFilePointer, ReadFile, GlobalAlloc,
# GlobalFree, CloseHandle; Linux: open, pread, malloc/free, close). Prints
# one table. "own" is a call less its floor; "DLL/.so" is the DLL's
# own time over the .so's; "DLL/floor", ".so/floor" and ".so/floor, fresh"
# each call over its own floor. Each
# figure is the median over ROUNDS runs of both programs, taken in turn,
# of per-run medians (SMALL_RUNS calls on small files, BIG_RUNS on 16 MiB
# tables). The Linux program runs twice: as Linux callers run it, and with
# the C library told to map every block of 1 MiB or more afresh, as the
# Windows heap does (glibc otherwise keeps freed large blocks and hands
# their pages back warm). The columns marked "fresh" compare the two
# libraries on equal memory. A second table gives the memory each large
# call held at its peak, from the DLL's own allocations. Not part of the
# tests.
set -euo pipefail
cd "$(dirname "$0")/.."
small=${SMALL_RUNS:-301}
big=${BIG_RUNS:-15}
rounds=${ROUNDS:-3}

cmake --preset release >/dev/null
cmake --build --preset release --target dinfo_side_by_side >/dev/null
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target dinfo_side_by_side dinfo_wine_prefix >/dev/null
wine=$(grep -E '^DINFO_WINE64:' build/mingw/CMakeCache.txt | cut -d= -f2)

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
mkdir "$results/traces"
# The Windows program writes the traces the Linux one replays.
for round in $(seq 1 "$rounds"); do
  (cd build/mingw/bin &&
    env WINEPREFIX="$PWD/../wineprefix" WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8 \
      "$wine" dinfo_side_by_side.exe "$small" "$big" "$results/traces") | tr -d '\r' >"$results/windows.$round"
  build/release/bench/side_by_side/dinfo_side_by_side "$small" "$big" "$results/traces" >"$results/linux.$round"
  GLIBC_TUNABLES=glibc.malloc.mmap_threshold=1048576 \
    build/release/bench/side_by_side/dinfo_side_by_side "$small" "$big" "$results/traces" >"$results/fresh.$round"
done

python3 - "$results" "$rounds" <<'PYTHON'
import statistics, sys
folder, rounds = sys.argv[1], int(sys.argv[2])
held = {}
def read(platform):
    figures = {}
    for r in range(1, rounds + 1):
        for line in open(f"{folder}/{platform}.{r}"):
            name, call, floor, *bytes_held = line.split()
            figures.setdefault(name, []).append((float(call), float(floor)))
            if platform == "windows" and bytes_held:
                held[name] = [int(b) for b in bytes_held]
    return {n: (statistics.median(c for c, _ in v), statistics.median(f for _, f in v))
            for n, v in figures.items()}
linux, windows, fresh = read("linux"), read("windows"), read("fresh")
def ratio(mine, theirs):
    return f"{mine / theirs:.2f}" if theirs > 0 else "n/a"
print("| Figure | .so call | .so floor | DLL call | DLL floor | .so own | DLL own | DLL/.so "
      "| .so own, fresh | DLL/.so, fresh | .so/floor | .so/floor, fresh | DLL/floor |")
print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
for name, (lc, lf) in linux.items():
    wc, wf = windows[name]
    fc, ff = fresh[name]
    lo, wo, fo = lc - lf, wc - wf, fc - ff
    print(f"| {name} | {lc:.1f} | {lf:.1f} | {wc:.1f} | {wf:.1f} | {lo:.1f} | {wo:.1f} | {ratio(wo, lo)} "
          f"| {fo:.1f} | {ratio(wo, fo)} | {lc / lf:.2f} | {fc / ff:.2f} | {wc / wf:.2f} |")
print("(microseconds, medians)")
print()
print("| Figure | peak held, MiB | table, MiB | record, MiB | peak - table - record, MiB |")
print("|---|---:|---:|---:|---:|")
for name, (peak, table, record) in held.items():
    if peak >= 1 << 20:
        mib = 1 << 20
        # A table restored in place is handed back in its record's block.
        extra = peak - table if peak < table + record else peak - table - record
        place = " (in place)" if peak < table + record else ""
        print(f"| {name} | {peak / mib:.2f} | {table / mib:.2f} | {record / mib:.2f} | {extra / mib:.2f}{place} |")
PYTHON
