#!/usr/bin/env bash
# Runs genbench over the Kanban (N = 1..7) and FMS (N = 1..10) models and
# prints a table: states, transitions, wall and CPU seconds of the whole
# process (every file written), states per second, peak RSS, bytes per
# state, .arm size and the time of the hand-written floor for the same
# model with the generator/floor ratios (wall and CPU).
#
# A run that would exceed the time, memory or free disk left is not started:
# its time, memory and file sizes are predicted from the previous N and the
# published state counts (Kanban N = 7 writes about 12 GB). Each run is also
# stopped by `timeout` at the time limit, and its files are deleted as soon
# as they have been measured.
#
# Then it runs the same models written in the model language (models/*.san)
# through san, up to Kanban N = 5 and FMS N = 7 (-K, -M), each right after
# genbench on the compiled model, and prints both times, their ratio and
# whether the .arm files are identical.
#
# usage: bench/run.sh [-b build_dir] [-o out_dir] [-t seconds] [-k max_kanban]
#                     [-f max_fms] [-F] [-K max_text_kanban] [-M max_text_fms]
#                     (-F: skip the floor; -K 0 -M 0: skip the text models)
set -u

build_dir="$(dirname "$0")/../build"
out_dir=""
time_limit=600
max_kanban=7
max_fms=10
with_floor=1
max_text_kanban=5
max_text_fms=7
while getopts "b:o:t:k:f:FK:M:" option; do
  case "$option" in
    b) build_dir="$OPTARG" ;;
    o) out_dir="$OPTARG" ;;
    t) time_limit="$OPTARG" ;;
    k) max_kanban="$OPTARG" ;;
    f) max_fms="$OPTARG" ;;
    F) with_floor=0 ;;
    K) max_text_kanban="$OPTARG" ;;
    M) max_text_fms="$OPTARG" ;;
    *) sed -n '2,18p' "$0"; exit 1 ;;
  esac
done

genbench="$build_dir/bench/genbench"
if [[ ! -x "$genbench" ]]; then
  echo "error: $genbench not found; build the project first" >&2
  exit 1
fi
if [[ ! -x /usr/bin/time ]]; then
  echo "error: /usr/bin/time is needed for wall time and peak RSS" >&2
  exit 1
fi
if [[ -z "$out_dir" ]]; then
  out_dir="$(mktemp -d /tmp/genbench.XXXXXX)"
  trap 'rm -rf "$out_dir"' EXIT
fi
mkdir -p "$out_dir"

# Published reachable state counts, for the predictions.
kanban_states=(0 160 4600 58400 454475 2546432 11261376 41644800)
fms_states=(0 54 810 6520 35910 152712 537768 1639440 4459455 11058190 25397658)

echo "# $(uname -n), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "# time limit ${time_limit} s per run"
echo
echo "| model | N | states | transitions | wall s | CPU s | states/s | peak RSS MiB | bytes/state | .arm MiB | floor wall s | floor CPU s | gen/floor wall | gen/floor CPU |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"

# Runs one process under /usr/bin/time; sets run_wall, run_cpu, run_rss_kb
# and run_ok.
timed_run() {
  local log="$out_dir/time.log"
  timeout "$time_limit" /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" \
    > "$out_dir/stdout.log" 2> "$out_dir/stderr.log"
  local code=$?
  run_ok=0
  [[ $code -eq 0 ]] && run_ok=1
  local user system
  read -r run_wall user system run_rss_kb < <(tail -n 1 "$log" 2>/dev/null || echo "0 0 0 0")
  [[ "$run_wall" =~ ^[0-9.]+$ ]] || { run_wall=0; user=0; system=0; run_rss_kb=0; run_ok=0; }
  run_cpu=$(awk -v u="$user" -v s="$system" 'BEGIN {printf "%.2f", u + s}')
}

mem_available_kb() { awk '/MemAvailable/ {print $2}' /proc/meminfo; }
disk_free_kb() { df -Pk "$out_dir" | awk 'NR == 2 {print $4}'; }

run_model() {
  local model=$1 max_n=$2
  local -n published=$3
  local prev_states=0 prev_wall=0 prev_rss=0 prev_arm=0
  for ((n = 1; n <= max_n && n < ${#published[@]}; n++)); do
    local expected=${published[$n]}
    if ((prev_states > 0)); then
      # The floor writes the same files again after the generator's are
      # deleted, so one set at a time must fit.
      # Per-state costs of the previous N, with a margin, scaled up.
      local predicted_wall predicted_rss predicted_disk
      predicted_wall=$(awk -v w="$prev_wall" -v s="$prev_states" -v e="$expected" 'BEGIN {printf "%d", w / s * e * 1.3 + 1}')
      predicted_rss=$(awk -v r="$prev_rss" -v s="$prev_states" -v e="$expected" 'BEGIN {printf "%d", r / s * e * 1.3}')
      predicted_disk=$(awk -v a="$prev_arm" -v s="$prev_states" -v e="$expected" 'BEGIN {printf "%d", a / s * e * 1.3 / 1024}')
      if ((predicted_wall > time_limit)); then
        echo "| $model | $n | $expected | | | | | | | | | | | skipped: about ${predicted_wall} s expected, limit ${time_limit} s |"
        break
      fi
      if ((predicted_rss > $(mem_available_kb))); then
        echo "| $model | $n | $expected | | | | | | | | | | | skipped: about $((predicted_rss / 1024)) MiB expected, $(($(mem_available_kb) / 1024)) MiB available |"
        break
      fi
      if ((predicted_disk > $(disk_free_kb))); then
        echo "| $model | $n | $expected | | | | | | | | | | | skipped: about $((predicted_disk / 1024)) MiB of files expected, $(($(disk_free_kb) / 1024)) MiB free |"
        break
      fi
    fi

    timed_run "$genbench" "$model" "$n" -P "$out_dir/" -N "$model$n"
    if ((!run_ok)); then
      echo "| $model | $n | $expected | | | | | | | | | | | stopped after ${run_wall} s: $(tail -n 1 "$out_dir/stderr.log" 2>/dev/null) |"
      rm -f "$out_dir/$model$n".*
      break
    fi
    local arm="$out_dir/$model$n.arm"
    local states lines transitions arm_bytes
    states=$(sed -n 2p "$arm")
    lines=$(wc -l < "$arm")
    transitions=$(((lines - 3 - 2 * states) / 2))
    arm_bytes=$(stat -c %s "$arm")
    local wall=$run_wall cpu=$run_cpu rss=$run_rss_kb
    if ((states != expected)); then
      echo "| $model | $n | $states | | | | | | | | | | | state count differs from the published $expected |"
    fi
    rm -f "$out_dir/$model$n".*

    # The floor packs markings into 4-bit fields: N <= 15.
    local floor_wall="" floor_cpu="" ratio="" cpu_ratio=""
    if [[ $with_floor -eq 1 && $n -le 15 ]]; then
      timed_run "$genbench" --floor "$model" "$n" -P "$out_dir/" -N "floor$n"
      if ((run_ok)); then
        floor_wall=$run_wall
        floor_cpu=$run_cpu
        ratio=$(awk -v g="$wall" -v f="$run_wall" 'BEGIN {if (f > 0) printf "%.2f", g / f}')
        cpu_ratio=$(awk -v g="$cpu" -v f="$run_cpu" 'BEGIN {if (f > 0) printf "%.2f", g / f}')
      fi
      rm -f "$out_dir/floor$n".*
    fi

    awk -v m="$model" -v n="$n" -v s="$states" -v t="$transitions" -v w="$wall" \
        -v c="$cpu" -v r="$rss" -v a="$arm_bytes" -v fw="$floor_wall" \
        -v fc="$floor_cpu" -v q="$ratio" -v qc="$cpu_ratio" 'BEGIN {
      printf "| %s | %d | %d | %d | %.2f | %.2f | %.0f | %.1f | %.0f | %.1f | %s | %s | %s | %s |\n",
        m, n, s, t, w, c, (w > 0 ? s / w : 0), r / 1024, r * 1024 / s,
        a / 1048576, fw, fc, q, qc }'
    prev_states=$states prev_wall=$wall prev_rss=$rss prev_arm=$arm_bytes
  done
}

run_model kanban "$max_kanban" kanban_states
run_model fms "$max_fms" fms_states

# The text models against the compiled ones, each pair run back to back.
san="$build_dir/san"
models_dir="$(dirname "$0")/../models"
if ((max_text_kanban + max_text_fms > 0)); then
  if [[ ! -x "$san" ]]; then
    echo "error: $san not found; build the project first" >&2
    exit 1
  fi
  echo
  echo "| model | N | states | genbench wall s | san wall s | san/genbench | genbench CPU s | san CPU s | CPU ratio | .arm identical |"
  echo "|---|---|---|---|---|---|---|---|---|---|"
  for model in kanban fms; do
    max_n=$max_text_kanban
    [[ $model == fms ]] && max_n=$max_text_fms
    for ((n = 1; n <= max_n; n++)); do
      timed_run "$genbench" "$model" "$n" -P "$out_dir/" -N "c$model$n"
      compiled_ok=$run_ok compiled_wall=$run_wall
      compiled_cpu=$(sed -n 's/^Computation Time (user + system): \(.*\) seconds$/\1/p' "$out_dir/stdout.log")
      timed_run "$san" "$models_dir/$model.san" -P "$out_dir/" -N "t$model$n" -O "d:N:$n"
      text_ok=$run_ok text_wall=$run_wall
      text_cpu=$(sed -n 's/^Computation Time (user + system): \(.*\) seconds$/\1/p' "$out_dir/stdout.log")
      if ((!compiled_ok || !text_ok)); then
        echo "| $model | $n | | | | | | | | a run failed: $(tail -n 1 "$out_dir/stderr.log" 2>/dev/null) |"
        rm -f "$out_dir/c$model$n".* "$out_dir/t$model$n".*
        break
      fi
      same=no
      cmp -s "$out_dir/c$model$n.arm" "$out_dir/t$model$n.arm" && same=yes
      states=$(sed -n 2p "$out_dir/c$model$n.arm")
      rm -f "$out_dir/c$model$n".* "$out_dir/t$model$n".*
      awk -v m="$model" -v n="$n" -v s="$states" -v cw="$compiled_wall" \
          -v tw="$text_wall" -v cc="$compiled_cpu" -v tc="$text_cpu" -v same="$same" 'BEGIN {
        printf "| %s | %d | %d | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %s |\n",
          m, n, s, cw, tw, (cw > 0 ? tw / cw : 0), cc, tc, (cc > 0 ? tc / cc : 0), same }'
    done
  done
fi
