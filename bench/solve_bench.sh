#!/usr/bin/env bash
# Times solve on the chains of the benchmark models. For each case genbench
# writes the chain into OUT_DIR, then solve reads and solves it; the table
# gives the wall time and peak memory of each (GNU time), the method, its
# iterations and the accuracy figures solve reports. A case MODEL:N:T times
# the transient analysis at time T (solve --time=T) instead of the steady
# state; SOLVE_ARGS adds arguments to every solve (for example --bounds).
#   bench/solve_bench.sh BUILD_DIR OUT_DIR [MODEL:N[:T] ...]
# Default cases: kanban 1 to 4 and fms 1 to 5. Use a Release build.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 BUILD_DIR OUT_DIR [MODEL:N ...]" >&2
  exit 1
fi
build_dir=$1
out_dir=$2
shift 2
cases=("$@")
if ((${#cases[@]} == 0)); then
  cases=(kanban:1 kanban:2 kanban:3 kanban:4 fms:1 fms:2 fms:3 fms:4 fms:5)
fi
genbench=$build_dir/bench/genbench
solve=$build_dir/solve/solve
for program in "$genbench" "$solve"; do
  [[ -x $program ]] || { echo "$0: $program is missing; build it first" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "$0: needs GNU time (/usr/bin/time)" >&2; exit 1; }
mkdir -p "$out_dir"

echo "| model | N | states | transitions | gen s | solve s | solve MB | method | iterations | backward error | relative residual |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
read -r -a extra <<<"${SOLVE_ARGS:-}"
for case in "${cases[@]}"; do
  IFS=: read -r model n time <<<"$case"
  name=$model$n
  args=("${extra[@]}")
  [[ -n $time ]] && args+=("--time=$time")
  /usr/bin/time -f '%e' -o "$out_dir/$name.gentime" \
    "$genbench" "$model" "$n" -P"$out_dir/" -N"$name" >/dev/null
  /usr/bin/time -f '%e %M' -o "$out_dir/$name.solvetime" \
    "$solve" -P"$out_dir/" -N"$name" "${args[@]}" >"$out_dir/$name.solve.txt"
  read -r solve_s solve_kb <"$out_dir/$name.solvetime"
  report=$out_dir/$name.solve.txt
  states=$(awk '/^chain/ { print $2 }' "$report")
  transitions=$(awk '/^chain/ { print $4 }' "$report")
  method=$(awk '/^method/ { sub(",", "", $2); print $2 }' "$report")
  iterations=$(awk '/^method/ { print ($6 == "" ? "-" : $5) }' "$report")
  backward=$(awk '/^residual/ { print $NF }' "$report")
  relative=$(awk '/^residual/ { sub(/\),?/, "", $7); print $7 }' "$report")
  printf '| %s | %s | %s | %s | %s | %s | %d | %s | %s | %s | %s |\n' \
    "$model" "$n${time:+, t=$time}" "$states" "$transitions" "$(cat "$out_dir/$name.gentime")" \
    "$solve_s" $((solve_kb / 1024)) "$method" "$iterations" "$backward" \
    "$relative"
  rm -f "$out_dir/$name.arm" "$out_dir/$name.var"  # up to gigabytes each
done
