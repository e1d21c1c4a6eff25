#!/usr/bin/env bash
# Serves a folder on 127.0.0.1 at a free port, in the background.
# Usage: source tools/serve-site.sh; serve_site FOLDER LOGFILE   -> sets SITE_PORT and SITE_PID
serve_site() {
    local folder=$1 log=$2
    python3 -u -m http.server --bind 127.0.0.1 --directory "$folder" 0 >"$log" 2>&1 &
    SITE_PID=$!
    SITE_PORT=
    for _ in $(seq 1 100); do
        SITE_PORT=$(sed -n 's/^Serving HTTP on 127\.0\.0\.1 port \([0-9]*\).*/\1/p' "$log" | head -n 1)
        [ -n "$SITE_PORT" ] && return 0
        sleep 0.1
    done
    echo "could not start a web server for $folder (see $log)" >&2
    return 1
}
