#!/usr/bin/env bash
# Generates and solves experiments 0 to 9 and collects the results:
#   OUT_DIR/results.csv   experiment, the three global variables, the measures
#   OUT_DIR/sweep.svg, OUT_DIR/sweep.png
#                         the measures against test_execution_rate_G (when
#                         gnuplot is installed)
#   OUT_DIR/exp<k>.*      each experiment's chain, gen's output and solve's CSV
# gen and solve are taken from BUILD_DIR (BUILD_DIR/gen, BUILD_DIR/solve/solve)
# unless GEN_BIN or SOLVE_BIN name them; GNUPLOT names the plotting program
# (default gnuplot).
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 BUILD_DIR OUT_DIR" >&2
  exit 1
fi
build_dir=$1
out_dir=$2
gen=${GEN_BIN:-$build_dir/gen}
solve=${SOLVE_BIN:-$build_dir/solve/solve}
gnuplot=${GNUPLOT:-gnuplot}
for program in "$gen" "$solve"; do
  if [[ ! -x $program ]]; then
    echo "$0: $program is not an executable; build it first" >&2
    exit 1
  fi
done
mkdir -p "$out_dir"

globals=(pperm_fault_G safe_restore_rate_G test_execution_rate_G)
rows=()
measures=
for experiment in {0..9}; do
  name=exp$experiment
  if ! "$gen" -P "$out_dir/" -N"$name" -B"$experiment" >"$out_dir/$name.gen.txt"; then
    echo "$0: gen failed for experiment $experiment (see $out_dir/$name.gen.txt)" >&2
    exit 1
  fi
  if ! "$solve" -P "$out_dir/" -N"$name" --csv >"$out_dir/$name.csv"; then
    echo "$0: solve failed for experiment $experiment" >&2
    exit 1
  fi
  # gen lists the experiment's values as "name<TAB>double<TAB>value".
  row=$experiment
  for variable in "${globals[@]}"; do
    value=$(awk -F'\t' -v v="$variable" '$1 == v { print $3; exit }' \
      "$out_dir/$name.gen.txt")
    if [[ -z $value ]]; then
      echo "$0: gen did not list $variable for experiment $experiment" >&2
      exit 1
    fi
    row+=,$value
  done
  row+=,$(tail -n +2 "$out_dir/$name.csv" | cut -d, -f2 | paste -sd, -)
  rows+=("$row")
  measures=$(tail -n +2 "$out_dir/$name.csv" | cut -d, -f1 | paste -sd, -)
done

{
  echo "experiment,$(IFS=,; echo "${globals[*]}"),$measures"
  printf '%s\n' "${rows[@]}"
} >"$out_dir/results.csv"
echo "wrote $out_dir/results.csv"
"$(dirname "$0")/unreliability.sh" "$build_dir" "$out_dir"

if ! command -v "$gnuplot" >/dev/null 2>&1; then
  echo "note: gnuplot not found, so no plot was drawn (install gnuplot-nox" \
    "for $out_dir/sweep.svg and $out_dir/sweep.png)"
  exit 0
fi

# The experiments are not in the order of their test rates: sort for lines.
tail -n +2 "$out_dir/results.csv" | sort -t, -k4,4g >"$out_dir/sweep.dat"
IFS=, read -r -a titles <<<"$measures"
plot_script() {
  cat <<EOF
set datafile separator ','
set key top left box opaque
set grid
set yrange [0:*]
set xlabel 'test\\_execution\\_rate\\_G'
set ylabel 'steady-state probability'
set format y '%.1e'
set title 'Steady-state failure probabilities, experiments 0 to 9'
set output '$1'
plot '$out_dir/sweep.dat' using 4:5 with linespoints lw 2 pt 7 title '${titles[0]//_/\\_}', \\
     ''                  using 4:6 with linespoints lw 2 pt 5 title '${titles[1]//_/\\_}', \\
     ''                  using 4:7 with linespoints lw 2 pt 9 title '${titles[2]//_/\\_}'
EOF
}
{
  echo "set terminal svg size 900,560 dynamic font 'Sans,12'"
  plot_script "$out_dir/sweep.svg"
  echo "set terminal pngcairo size 900,560 font 'Sans,11'"
  plot_script "$out_dir/sweep.png"
} >"$out_dir/sweep.gp"
"$gnuplot" "$out_dir/sweep.gp"
echo "wrote $out_dir/sweep.svg and $out_dir/sweep.png"
