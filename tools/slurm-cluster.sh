#!/usr/bin/env bash
# A one-node Slurm cluster on 127.0.0.1 in a scratch folder, for the farm
# tests: Debian's slurm-wlm and munge, with its own munge key and socket, a
# generated slurm.conf, no cgroups (proctrack/linuxproc, task/none), every
# daemon's state, spool, log and pid file in the folder, free ports. The
# munge socket alone lives in a folder of its own under /run (or /tmp):
# munged refuses a socket any of whose folders is not searchable by all,
# and the scratch folder may sit in a private one (mktemp -d makes 700).
#
#   tools/slurm-cluster.sh start DIR   starts munged, slurmctld and slurmd; waits
#                                      until the node takes jobs; prints the
#                                      SLURM_CONF the client commands need
#   tools/slurm-cluster.sh stop DIR    cancels the cluster's jobs, stops each
#                                      daemon started here by its process id
#
# Runs as root (SlurmUser=root), as CI does. The daemons listen on
# 127.0.0.1 only. A start that fails stops what it started and prints the
# daemons' logs.
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$2
case "$dir" in /*) ;; *) dir="$PWD/$dir" ;; esac
conf="$dir/etc/slurm.conf"
daemons=(slurmd slurmctld munged)  # stopped in this order

# The daemon whose pid file names it, if that process still runs that
# program (a pid may have been reused since).
daemon_pid() {
  local name=$1 pid
  [ -s "$dir/run/$name.pid" ] || return 1
  pid=$(cat "$dir/run/$name.pid")
  [[ "$pid" =~ ^[0-9]+$ ]] || return 1
  [ "$(readlink "/proc/$pid/exe" 2>/dev/null || true)" = "$(readlink -f "$(command -v "$name")")" ] || return 1
  echo "$pid"
}

stop_cluster() {
  if [ -f "$conf" ] && daemon_pid slurmctld >/dev/null; then
    # Jobs still running would outlive slurmd in their slurmstepd.
    local jobs
    jobs=$(SLURM_CONF="$conf" squeue -h -o %A 2>/dev/null | sort -u | tr '\n' ' ' || true)
    if [ -n "${jobs// /}" ]; then
      # shellcheck disable=SC2086
      SLURM_CONF="$conf" scancel $jobs 2>/dev/null || true
      for _ in $(seq 100); do
        [ -z "$(SLURM_CONF="$conf" squeue -h -t RUNNING,COMPLETING -o %A 2>/dev/null)" ] && break
        sleep 0.1
      done
    fi
  fi
  # Each takes a second or two to save its state: stopped together.
  local name pid stopping=()
  for name in "${daemons[@]}"; do
    pid=$(daemon_pid "$name") || continue
    kill -TERM "$pid" 2>/dev/null || true
    stopping+=("$name:$pid")
  done
  for entry in "${stopping[@]}"; do
    name=${entry%%:*}
    pid=${entry#*:}
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "slurm-cluster: $name ($pid) did not stop on SIGTERM; killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/run/$name.pid"
  done
  # The socket's folder, once munged is gone; only one this script made.
  local socket_dir
  socket_dir=$(cat "$dir/run/munge-socket-dir" 2>/dev/null || true)
  if [[ "$socket_dir" =~ ^/(run|tmp)/talvik-munge\.[A-Za-z0-9]+$ ]] && ! daemon_pid munged >/dev/null; then
    rm -rf "$socket_dir"
    rm -f "$dir/run/munge-socket-dir"
  fi
}

# A TCP port nothing listens on now.
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

fail_start() {
  echo "slurm-cluster: $1" >&2
  local log
  for log in "$dir"/log/*; do
    [ -s "$log" ] || continue
    echo "--- $log" >&2
    tail -n 20 "$log" >&2
  done
  stop_cluster
  exit 1
}

start_cluster() {
  local missing=() program
  for program in munged mungekey slurmctld slurmd sbatch squeue sinfo scancel scontrol; do
    command -v "$program" >/dev/null || missing+=("$program")
  done
  [ ${#missing[@]} -eq 0 ] ||
    { echo "slurm-cluster: not installed: ${missing[*]} (Debian: apt-get install slurm-wlm munge)" >&2; exit 1; }
  [ "$(id -u)" -eq 0 ] || { echo "slurm-cluster: runs as root (SlurmUser=root), as CI does" >&2; exit 1; }
  # What an interrupted run left running in this folder goes first.
  stop_cluster

  mkdir -p "$dir"/{etc,munge,state,spool,log,run}
  # munged wants its key private, and its socket in folders all may search
  # up to /: one made here, whatever the scratch folder's parents allow.
  chmod 700 "$dir/etc" "$dir/munge"
  local socket_dir
  socket_dir=$(mktemp -d /run/talvik-munge.XXXXXXXX 2>/dev/null || mktemp -d /tmp/talvik-munge.XXXXXXXX) ||
    fail_start "cannot make a folder for munged's socket under /run or /tmp"
  echo "$socket_dir" >"$dir/run/munge-socket-dir"
  chmod 755 "$socket_dir"
  local folder=$socket_dir
  while [ "$folder" != / ]; do
    folder=$(dirname "$folder")
    [ "$(( 8#$(stat -c %a "$folder") & 8#001 ))" -ne 0 ] ||
      fail_start "munged's socket folder $socket_dir: $folder is not searchable by all, which munged requires"
  done
  # A fresh cluster: no jobs, logs or key of an earlier one.
  rm -rf "$dir"/log/* "$dir"/state/* "$dir"/spool/* "$dir/munge/munge.key"
  mungekey --create --keyfile="$dir/munge/munge.key" >/dev/null
  chmod 600 "$dir/munge/munge.key"

  local host ctld_port slurmd_port cpus memory
  host=$(hostname -s)
  ctld_port=$(free_port)
  slurmd_port=$(free_port)
  while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done
  cpus=$(nproc)
  memory=$(($(awk '/^MemTotal:/ { print $2 }' /proc/meminfo) / 1024 / 2))
  cat >"$conf" <<EOF
# Generated by tools/slurm-cluster.sh: a one-node test cluster on 127.0.0.1.
ClusterName=talvik-test
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
# Bind to 127.0.0.1, the address the node names resolve to, not to every address.
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket_dir/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/slurmd
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
ReturnToService=2
# A cancelled task gets SIGTERM, then SIGKILL this many seconds later.
KillWait=5
# Finished jobs stay visible to scontrol for a while.
MinJobAge=600
NodeName=localhost NodeHostname=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=talvik Nodes=localhost Default=YES MaxTime=INFINITE State=UP OverSubscribe=NO
EOF

  munged --socket="$socket_dir/munge.socket" --key-file="$dir/munge/munge.key" \
    --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" --seed-file="$dir/munge/munged.seed" ||
    fail_start "munged did not start"
  # Daemons fork into the background and write their pid files.
  SLURM_CONF="$conf" slurmctld || fail_start "slurmctld did not start"
  SLURM_CONF="$conf" slurmd -N localhost || fail_start "slurmd did not start"
  for _ in $(seq 300); do
    if [ "$(SLURM_CONF="$conf" sinfo -h -n localhost -o %t 2>/dev/null)" = "idle" ]; then
      echo "export SLURM_CONF=$conf"
      return 0
    fi
    daemon_pid slurmctld >/dev/null || fail_start "slurmctld ended"
    daemon_pid slurmd >/dev/null || fail_start "slurmd ended"
    sleep 0.1
  done
  fail_start "the node did not come up within 30 s"
}

case "$action" in
  start) start_cluster ;;
  stop) stop_cluster ;;
  *) usage ;;
esac
