#!/usr/bin/env bash
# Generates and solves every experiment of a study and collects the results:
#   OUT_DIR/results.db    the results database (SQLite): every run with
#                         its global variables and every measure solve
#                         printed, under the entity SWEEP_ENTITY (default:
#                         "sweep <model> <UTC time>")
#   OUT_DIR/results.csv   experiment, the global variables, the steady-state
#                         measures: queried from results.db
#   OUT_DIR/sweep.svg, OUT_DIR/sweep.png
#                         the measures against the global variable that
#                         changes between experiments (when gnuplot is
#                         installed)
#   OUT_DIR/exp<k>.*      each experiment's chain, the generator's output and
#                         solve's CSV
# Without MODEL_FILE the compiled-in failure model is swept with gen
# (experiments 0 to 9); with it, any model file is swept with san, and
# `san --check` tells the number of experiments. The experiments run in
# parallel, JOBS at a time (default: the number of processors).
# gen, san and solve are taken from BUILD_DIR (BUILD_DIR/gen, BUILD_DIR/san,
# BUILD_DIR/solve/solve, or BUILD_DIR/solve in an installed bin folder) unless
# GEN_BIN, SAN_BIN or SOLVE_BIN name them;
# GNUPLOT names the plotting program (default gnuplot); the sqlite3 shell
# (Debian package sqlite3) reads the database.
set -euo pipefail

if (($# != 2 && $# != 3)); then
  echo "usage: $0 BUILD_DIR OUT_DIR [MODEL_FILE]" >&2
  exit 1
fi
build_dir=$1
out_dir=$2
model=${3:-}
solve=${SOLVE_BIN:-$build_dir/solve/solve}
# An installed tree keeps every program in one folder.
if [[ -z ${SOLVE_BIN:-} && ! -e $build_dir/solve/solve && -f $build_dir/solve ]]; then
  solve=$build_dir/solve
fi
gnuplot=${GNUPLOT:-gnuplot}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
if [[ -n $model ]]; then
  generator=${SAN_BIN:-$build_dir/san}
else
  generator=${GEN_BIN:-$build_dir/gen}
fi
for program in "$generator" "$solve"; do
  if [[ ! -x $program ]]; then
    echo "$0: $program is not an executable; build it first" >&2
    exit 1
  fi
done
if ! command -v sqlite3 >/dev/null 2>&1; then
  echo "$0: the sqlite3 shell is missing (install the Debian package sqlite3)" >&2
  exit 1
fi
mkdir -p "$out_dir"
database=sqlite:$out_dir/results.db
entity=${SWEEP_ENTITY:-sweep ${model:-gen} $(date -u +%Y-%m-%dT%H:%M:%S.%NZ)}

if [[ -n $model ]]; then
  if ! summary=$("$generator" --check "$model"); then
    echo "$0: $model is not a valid model" >&2
    exit 1
  fi
  experiments=$(awk '$1 == "experiments" { print $2 }' <<<"$summary")
  generate=("$generator" "$model")
else
  experiments=10
  generate=("$generator")
fi

# One experiment: generate, then solve. A failure is reported by name and
# makes xargs end with a nonzero status.
run_experiment() {
  local experiment=$1 name=exp$1
  shift
  if ! "$@" -P "$out_dir/" -N"$name" -B"$experiment" -s "$database" \
      -e "$entity" >"$out_dir/$name.gen.txt"; then
    echo "$0: generation failed for experiment $experiment (see $out_dir/$name.gen.txt)" >&2
    return 1
  fi
  if grep -q '^Error writing ssg experiment info$' "$out_dir/$name.gen.txt"; then
    echo "$0: experiment $experiment was not recorded in $database" >&2
    return 1
  fi
  if ! "$solve" -P "$out_dir/" -N"$name" --csv --db "$database" \
      >"$out_dir/$name.csv"; then
    echo "$0: solve failed for experiment $experiment" >&2
    return 1
  fi
}
export -f run_experiment
export out_dir solve database entity
if ! seq 0 $((experiments - 1)) |
  xargs -P "$jobs" -I{} bash -c 'run_experiment "$@"' "$0" {} "${generate[@]}"; then
  exit 1
fi

# The table comes from the database: one row per experiment of this sweep
# (its latest run), a column per global variable and per steady-state
# measure, in the order of the model. A number is printed with 15 digits
# when they give it back exactly, else with 17.
query() { sqlite3 -batch -bail -csv "$out_dir/results.db" "$@"; }
query_list() { sqlite3 -batch -bail -list "$out_dir/results.db" "$@"; }
quote() { printf "'%s'" "${1//\'/\'\'}"; }
exact() { echo "CASE WHEN CAST(printf('%.15g', $1) AS REAL) = $1 THEN printf('%.15g', $1) ELSE printf('%.17g', $1) END"; }
runs="SELECT MAX(id) AS id, experiment FROM runs WHERE entity = $(quote "$entity") AND status = 'published' GROUP BY experiment"
first="(SELECT MIN(id) FROM ($runs))"
mapfile -t globals < <(query_list "SELECT name FROM globals WHERE run_id = $first ORDER BY position")
mapfile -t measures < <(query_list "SELECT subject FROM measures WHERE run_id = $first AND measure = 'steady-state' ORDER BY position")
columns="r.experiment"
for variable in "${globals[@]}"; do
  columns+=", (SELECT $(exact value) FROM globals WHERE run_id = r.id AND name = $(quote "$variable"))"
done
for measure in "${measures[@]}"; do
  columns+=", (SELECT $(exact value) FROM measures WHERE run_id = r.id AND measure = 'steady-state' AND subject = $(quote "$measure") ORDER BY id DESC LIMIT 1)"
done
{
  (IFS=,; echo "experiment,${globals[*]},${measures[*]}")
  query "SELECT $columns FROM ($runs) AS r ORDER BY r.experiment"
} >"$out_dir/results.csv"
echo "wrote $out_dir/results.csv"
# The unreliability curve is the compiled-in failure model's own measure.
if [[ -z $model ]]; then
  "$(dirname "$0")/unreliability.sh" "$build_dir" "$out_dir"
fi

if ! command -v "$gnuplot" >/dev/null 2>&1; then
  echo "note: gnuplot not found, so no plot was drawn (install gnuplot-nox" \
    "for $out_dir/sweep.svg and $out_dir/sweep.png)"
  exit 0
fi

# The x axis: the first global variable whose value changes between
# experiments (results.csv column 2 onwards).
x_column=0
for ((g = 0; g < ${#globals[@]}; ++g)); do
  column=$((g + 2))
  if (($(tail -n +2 "$out_dir/results.csv" | cut -d, -f"$column" | sort -u | wc -l) > 1)); then
    x_column=$column
    break
  fi
done
if ((x_column == 0)); then
  echo "note: no global variable changes between the experiments, so no plot was drawn"
  exit 0
fi
x_name=${globals[x_column - 2]}
first_measure=$((${#globals[@]} + 2))
# The experiments need not be in the order of x: sort for lines.
tail -n +2 "$out_dir/results.csv" | sort -t, -k"$x_column","$x_column"g >"$out_dir/sweep.dat"
titles=("${measures[@]}")
plot_script() {
  local k points=(7 5 9 11 13 15)
  cat <<EOF
set datafile separator ','
set key top left box opaque
set grid
set yrange [0:*]
set xlabel '${x_name//_/\\_}'
set ylabel 'steady-state value'
set format y '%.1e'
set title 'Steady-state measures, experiments 0 to $((experiments - 1))'
set output '$1'
EOF
  for ((k = 0; k < ${#titles[@]}; ++k)); do
    if ((k == 0)); then printf 'plot '; else printf ', \\\n     '; fi
    printf "'%s' using %d:%d with linespoints lw 2 pt %d title '%s'" \
      "$out_dir/sweep.dat" "$x_column" $((first_measure + k)) \
      "${points[k % 6]}" "${titles[k]//_/\\_}"
  done
  echo
}
{
  echo "set terminal svg size 900,560 dynamic font 'Sans,12'"
  plot_script "$out_dir/sweep.svg"
  echo "set terminal pngcairo size 900,560 font 'Sans,11'"
  plot_script "$out_dir/sweep.png"
} >"$out_dir/sweep.gp"
"$gnuplot" "$out_dir/sweep.gp"
echo "wrote $out_dir/sweep.svg and $out_dir/sweep.png"
