# Sourced by the shell tests: zev1-sim in the background.
#   start_sim <log.jsonl> <command...>  runs the command (zev1-sim and its options, maybe
#                                       behind setpriv) with its JSON lines in log.jsonl and
#                                       its errors in log.err; sets sim_pid; fails unless
#                                       the simulator is ready within 5 s
#   stop_sim                            ends it
start_sim() {
    local log=$1
    shift
    "$@" >"$log" 2>"${log%.jsonl}.err" </dev/null &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q '"event":"ready"' "$log" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

stop_sim() {
    if [ -n "${sim_pid:-}" ]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
        sim_pid=
    fi
}
