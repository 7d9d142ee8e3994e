# Shared by the workflow tests (sourced): the study, a work directory, the
# single-process scan every workflow result is compared with, and Snakemake
# runs whose output is shown when they fail.
#
# The test scripts take the mglink-scan binary to test as their argument
# ($1) and the study from examples/scan (MGLINK_TEST_STUDY=DIR for another
# with the same file names).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -ge 1 ] || {
  echo "usage: $0 MGLINK-SCAN" >&2
  exit 2
}
scan=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
[ -x "$scan" ] || {
  echo "$0: $scan is not an executable" >&2
  exit 2
}
study=${MGLINK_TEST_STUDY:-$root/examples/scan}
for f in study.ped study.dat study.map; do
  [ -f "$study/$f" ] || {
    echo "$0: the example study lacks $study/$f" >&2
    exit 1
  }
done
command -v snakemake >/dev/null || {
  echo "$0: snakemake is not installed (Debian package snakemake)" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/mglink-workflow.XXXXXX")
cleanup() {
  local status=$?
  if [ "$status" -ne 0 ] && [ "${MGLINK_TEST_KEEP:-0}" = 1 ]; then
    echo "$0: kept $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

export MGLINK_TEST_SCAN=$scan
export MGLINK_TEST_RECORD=$work/record
: >"$MGLINK_TEST_RECORD"
faults=$root/tests/workflow/scan-faults
# Snakemake polls its cluster jobs every 10 s, every second when CI=true.
export CI=true

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs snakemake on the workflow with the study and $faults as the program;
# the first argument names the run's log in $work, the others go to
# snakemake. Shows the log's end when snakemake fails.
snakemake_run() {
  local log=$work/$1.log
  shift
  if ! snakemake -s "$root/workflow/Snakefile" -d "$work" \
    "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "snakemake $* failed (log above)"
  fi
}

# Sets cfg to the settings of a run (last on the command line: --config
# takes every word after it): the study, $faults as the program,
# outdir $1, chunks $2, trait $3.
study_config() {
  cfg=(--config "ped=$study/study.ped" "dat=$study/study.dat"
    "map=$study/study.map" "scan_bin=$faults" "outdir=$1" "chunks=$2" "trait=$3")
}

# Makes $work/study2 from the study with a second trait Q2, a copy of the
# first, which must be the data file's first item; sets study to it.
two_trait_study() {
  local first
  first=$(awk 'NF { print; exit }' "$study/study.dat")
  [ "$first" = "T Q1" ] || fail "$study/study.dat does not start with T Q1"
  mkdir "$work/study2"
  awk 'NF && !done { print; print "T Q2"; done = 1; next } { print }' \
    "$study/study.dat" >"$work/study2/study.dat"
  awk 'NF { $6 = $6 " " $6 } { print }' "$study/study.ped" >"$work/study2/study.ped"
  cp "$study/study.map" "$work/study2/study.map"
  study=$work/study2
}

# The single-process scan of the whole study for trait $1 into $work/ref-$1.
reference_scan() {
  "$scan" --ped "$study/study.ped" --dat "$study/study.dat" \
    --map "$study/study.map" --trait "$1" --threads 2 --quiet "$work/ref-$1" ||
    fail "the single-process scan of $1 failed"
}

# The table and plot in $work/$1 are those of the single-process scan of
# trait $2.
same_as_reference() {
  cmp "$work/ref-$2/scan.tsv" "$work/$1/scan.tsv" ||
    fail "$1/scan.tsv differs from the single-process scan of $2"
  cmp "$work/ref-$2/scan.svg" "$work/$1/scan.svg" ||
    fail "$1/scan.svg differs from the single-process scan of $2"
  echo "ok: $1/scan.tsv and scan.svg equal the single-process scan's of $2" \
    "($(($(wc -l <"$work/$1/scan.tsv") - 1)) markers)"
}

# How many times chunk $1 ("TRAIT K/N") was run.
runs_of() {
  grep -cx "$1" "$MGLINK_TEST_RECORD" || true
}

# The number of jobs of rule $2 that the snakemake run logged in $1 planned.
planned() {
  awk -v rule="$2" '$1 == rule { print $2; exit }' "$work/$1.log"
}
