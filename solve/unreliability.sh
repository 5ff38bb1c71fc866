#!/usr/bin/env bash
# The failure model's unreliability over time: with the safe restore rate
# set to 0 a failure is never repaired, so the expected Cpu_Failure at time t
# is the probability of having failed by t. Generates a few experiments that
# way and asks solve for the curve at log-spaced times:
#   OUT_DIR/unreliability.csv   experiment, time, unreliability, bound
#   OUT_DIR/unreliability.svg, OUT_DIR/unreliability.png (with gnuplot)
# gen and solve as in sweep.sh (GEN_BIN, SOLVE_BIN, GNUPLOT); EXPERIMENTS
# lists the experiments (default "0 4 9").
#   solve/unreliability.sh BUILD_DIR OUT_DIR
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 1
fi
build_dir=$1
out_dir=$2
gen=${GEN_BIN:-$build_dir/gen}
solve=${SOLVE_BIN:-$build_dir/solve/solve}
# An installed tree keeps every program in one folder.
if [[ -z ${SOLVE_BIN:-} && ! -e $build_dir/solve/solve && -f $build_dir/solve ]]; then
  solve=$build_dir/solve
fi
gnuplot=${GNUPLOT:-gnuplot}
read -r -a experiments <<<"${EXPERIMENTS:-0 4 9}"
mkdir -p "$out_dir"

# Four points per decade from 10 to 1e10 time units.
times=$(awk 'BEGIN { for (k = 4; k <= 40; ++k) printf "%s%.6g", (k > 4 ? "," : ""), 10 ^ (k / 4) }')
csv=$out_dir/unreliability.csv
echo "experiment,time,unreliability,bound" >"$csv"
for experiment in "${experiments[@]}"; do
  name=unrel$experiment
  if ! "$gen" -P "$out_dir/" -N"$name" -B"$experiment" \
      -O d:safe_restore_rate_G:0 >"$out_dir/$name.gen.txt"; then
    echo "$0: gen failed for experiment $experiment" >&2
    exit 1
  fi
  if ! "$solve" -P "$out_dir/" -N"$name" --csv --time="$times" \
      >"$out_dir/$name.csv" 2>"$out_dir/$name.notes"; then
    echo "$0: solve failed for experiment $experiment" >&2
    cat "$out_dir/$name.notes" >&2
    exit 1
  fi
  # measure,of,time_start,time_stop,value,bound
  awk -F, -v e="$experiment" \
    '$1 == "instant" && $2 == "Cpu_Failure" { print e "," $3 "," $5 "," $6 }' \
    "$out_dir/$name.csv" >>"$csv"
done
echo "wrote $csv"

if ! command -v "$gnuplot" >/dev/null 2>&1; then
  echo "note: gnuplot not found, so no unreliability plot was drawn"
  exit 0
fi
plot_script() {
  cat <<GP
set datafile separator ','
set key top left box opaque
set grid
set logscale x
set format x '10^{%L}'
set yrange [0:1.05]
set xlabel 'time'
set ylabel 'probability of having failed (Cpu\\_Failure)'
set title 'Unreliability without safe restore (safe\\_restore\\_rate\\_G = 0)'
set output '$1'
plot for [e in "${experiments[*]}"] '$csv' using (\$1 == e+0 ? \$2 : 1/0):3 \\
  with linespoints lw 2 pt 7 ps 0.6 title 'experiment '.e
GP
}
{
  echo "set terminal svg size 900,560 dynamic font 'Sans,12' enhanced"
  plot_script "$out_dir/unreliability.svg"
  echo "set terminal pngcairo size 900,560 font 'Sans,11' enhanced"
  plot_script "$out_dir/unreliability.png"
} >"$out_dir/unreliability.gp"
"$gnuplot" "$out_dir/unreliability.gp"
echo "wrote $out_dir/unreliability.svg and $out_dir/unreliability.png"
