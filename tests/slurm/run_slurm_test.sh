#!/usr/bin/env bash
# Runs the bundled examples through velmorantique-batch on a real one-node
# Slurm cluster started here (munged, slurmctld and slurmd from Debian's
# packages, everything under a scratch folder), and checks that the tables
# equal those of a local run, run times aside.
#
# usage: run_slurm_test.sh BUILD_DIR     (as root; exit 77 = skipped)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
build="$(cd "${1:-$src/build}" && pwd)"
batch="$build/velmorantique-batch"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: the Slurm test starts munged, slurmctld and slurmd, which needs root"
  exit 77
fi
for cmd in munged slurmctld slurmd sbatch sinfo; do
  command -v "$cmd" >/dev/null || { echo "missing $cmd: install slurm-wlm and munge (scripts/ensure_deps.sh)"; exit 1; }
done
[ -x "$batch" ] || { echo "missing $batch: build first"; exit 1; }

scratch="$(mktemp -d /tmp/velmorantique-slurm-XXXXXX)"
chmod 755 "$scratch"
pids=()
stop() {
  # Stopped by the PIDs started here, newest first.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap stop EXIT

# Ports of their own, so that no other cluster on this host answers.
port=$((20000 + RANDOM % 20000))
host="$(hostname -s)"
cpus="$(nproc)"
mkdir -p "$scratch/munge" "$scratch/state" "$scratch/spool" "$scratch/log"
chmod 711 "$scratch/munge"

dd if=/dev/urandom of="$scratch/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$scratch/munge/munge.key"
munged --foreground --force --key-file="$scratch/munge/munge.key" --socket="$scratch/munge/munge.socket" \
  --pid-file="$scratch/munge/munged.pid" --seed-file="$scratch/munge/munged.seed" \
  --log-file="$scratch/log/munged.log" >"$scratch/log/munged.out" 2>&1 &
pids+=($!)

export SLURM_CONF="$scratch/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=veltest
SlurmctldHost=$host
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$scratch/munge/munge.socket
StateSaveLocation=$scratch/state
SlurmdSpoolDir=$scratch/spool
SlurmctldPidFile=$scratch/slurmctld.pid
SlurmdPidFile=$scratch/slurmd.pid
SlurmctldLogFile=$scratch/log/slurmctld.log
SlurmdLogFile=$scratch/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MinJobAge=5
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF

for _ in $(seq 50); do [ -S "$scratch/munge/munge.socket" ] && break; sleep 0.1; done
slurmctld -D -i -f "$SLURM_CONF" >"$scratch/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$scratch/log/slurmd.out" 2>&1 &
pids+=($!)

up=0
for _ in $(seq 120); do
  if sinfo -h -o '%T' 2>/dev/null | grep -qE '^(idle|mixed|allocated)'; then up=1; break; fi
  sleep 0.5
done
if [ "$up" -ne 1 ]; then
  echo "the one-node cluster did not come up"
  tail -20 "$scratch"/log/* || true
  exit 1
fi
echo "cluster up: node $host, $cpus CPUs, port $port"

# The same cases twice, in folders of their own, as on a shared filesystem.
# The Slurm side's output folder has a space and a quote in its path: the
# array script must quote it.
for side in local slurm; do
  mkdir -p "$scratch/$side"
  for d in "$src"/examples/*/; do cp -r "$d" "$scratch/$side/"; done
done

"$batch" -o "$scratch/out-local" --jobs 2 "$scratch/local" >"$scratch/local.txt"
status=0
slurm_out="$scratch/out slurm's"
"$batch" -o "$slurm_out" --slurm --array-size 2 --time 10 "$scratch/slurm" >"$scratch/slurm.txt" || status=$?
cat "$scratch/slurm.txt"
[ "$status" -eq 0 ] || { echo "slurm batch ended with $status"; cat "$slurm_out"/slurm/*.err || true; exit 1; }
ls "$slurm_out/slurm/batch.sh" "$slurm_out/slurm/task_0.out" >/dev/null

# results.tsv without the run times and the case folders, which differ by their side.
strip() {
  awk -F'\t' 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "seconds" || $i == "case_dir") drop[i] = 1 }
               { for (i in drop) $i = ""; print }' OFS='\t' "$1"
}
diff <(strip "$scratch/out-local/results.tsv") <(strip "$slurm_out/results.tsv")
diff "$scratch/out-local/bestResult.txt" "$slurm_out/bestResult.txt"
diff "$scratch/out-local/rms.txt" "$slurm_out/rms.txt"
rows=$(($(wc -l <"$slurm_out/results.tsv") - 1))
[ "$rows" -eq "$(ls -d "$src"/examples/*/ | wc -l)" ]
echo "PASSED: the Slurm run's tables equal the local run's ($rows cases)"
