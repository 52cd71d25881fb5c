#!/bin/sh
# Starts or stops the standalone simulated service for the Windows suites, which run under Wine
# and cannot embed an OpenSSL server; the service is a native program.
#   service-fixture.sh start PROGRAM DIR   start it and wait until it has written DIR/ports
#   service-fixture.sh stop DIR            stop it
set -eu
case "$1" in
  start)
    program=$2 dir=$3
    mkdir -p "$dir"
    rm -f "$dir/ports" "$dir/pid"
    nohup "$program" --state-dir "$dir" --lifetime 1800 > "$dir/log" 2>&1 &
    echo $! > "$dir/pid"
    i=0
    while [ ! -f "$dir/ports" ]; do
      i=$((i + 1))
      if [ $i -gt 200 ]; then cat "$dir/log" >&2; exit 1; fi
      sleep 0.05
    done
    ;;
  stop)
    dir=$2
    [ -f "$dir/pid" ] || exit 0
    pid=$(cat "$dir/pid")
    kill "$pid" 2> /dev/null || true
    i=0
    while kill -0 "$pid" 2> /dev/null && [ $i -lt 100 ]; do i=$((i + 1)); sleep 0.05; done
    kill -9 "$pid" 2> /dev/null || true
    rm -f "$dir/pid"
    ;;
  *)
    echo "usage: service-fixture.sh start PROGRAM DIR | stop DIR" >&2
    exit 2
    ;;
esac
