#!/usr/bin/env bash
# Runs Linkweave on the bundled demo site. Usage: tools/run-demo.sh BUILD_DIR
set -euo pipefail
echo "Linkweave's crawl engine is built and tested (make test); the demo crawl arrives with the HTTP client."
