#!/bin/sh
# linkweave-launcher: how the desktop menu starts Preflight. Preflight and Linkweave keep
# settings.txt, debug.txt and their pictures in the working folder, which for a program
# started from a menu is wherever the desktop happens to be; this gives them a folder of
# the user's own instead, made when missing, and starts the preflight installed beside
# this script.
set -u

# An unset, empty or relative XDG_DATA_HOME means the default.
case ${XDG_DATA_HOME:-} in
    /*) data=$XDG_DATA_HOME ;;
    *)
        if [ -z "${HOME:-}" ]; then
            echo "linkweave-launcher: neither XDG_DATA_HOME nor HOME is set" >&2
            exit 1
        fi
        data=$HOME/.local/share
        ;;
esac
dir=$data/linkweave

if ! mkdir -p -- "$dir" || ! cd -- "$dir"; then
    echo "linkweave-launcher: cannot use the folder $dir" >&2
    exit 1
fi
here=$(dirname -- "$(readlink -f -- "$0")")
exec "$here/preflight"
