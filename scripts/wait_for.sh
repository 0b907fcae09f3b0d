# wait_for, the one wait of the shell scripts (sourced by env.sh and by
# tests/fixture/run_in_netns.sh).

# Waits up to $2 seconds for the condition command $1 to succeed. Nothing the
# scripts wait for (a socket, a PID file, another process's end) can be
# waited on directly from the shell, so the condition is polled, every 0.1 s:
# short against the seconds such a thing takes, light on the processor.
wait_for() {
  local cond=$1 end=$((SECONDS + $2))
  until eval "$cond"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
