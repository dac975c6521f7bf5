# What scripts/test and scripts/soak share; sourced, not run.

# Every server a test starts talks over loopback only: the suites run in a
# private network namespace that has nothing else.
# The server binds the first IPv4 address of this computer's name; where that
# is not a loopback address, the namespace's loopback device carries it too.
loopback_up='
    ip link set lo up
    addr=$(getent ahostsv4 "$(hostname)" 2>/dev/null | awk "NR==1{print \$1}")
    case "$addr" in ""|127.*) ;; *) ip addr add "$addr/32" dev lo ;; esac'

# Runs its arguments as a command inside a new loopback-only namespace.
in_loopback_namespace() {
    unshare -n bash -c "$loopback_up"'
        "$@"' bash "$@"
}

# The real-time runs the suite proves on its own clock, skipped there unless
# QUORVEX_SOAK is set.
soak_filter='HeldLoop.*:SlowClients.ClientThatStopsShort*:ServerControl.KeepsAnsweringAsChannelNumbers*'
soak_filter+=':BadConnections.FortyThousandInARow*:BadPrograms.ProgramThatNeverEnds*'
