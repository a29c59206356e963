#!/usr/bin/env bash
# No account of the counter server (nor any other) is built into the
# programs: their strings hold no user:password, no URL with one, and not
# the fake proxy name of old.
# usage: no_credentials_test.sh PIMLORA SETUPFETCH
set -uo pipefail
failures=0
for bin in "$@"; do
    s=$(strings -a -n 4 "$bin")
    # Sanity: strings reads the program (the configuration names are there).
    grep -q 'PIMLORA_COUNTER_CREDENTIALS' <<<"$s" || { echo "FAIL - $bin: strings found nothing of ours"; failures=$((failures + 1)); }
    for pattern in 'ProxyServerName' '[a-z]+://[^/:@ ]+:[^/@ ]+@' 'pw-tester-9' 'pw-reader-9' \
                   '(user|username|password|passwd|pwd)[:=][A-Za-z0-9]{4,}'; do
        if hit=$(grep -E -i -m3 -- "$pattern" <<<"$s"); then
            echo "FAIL - $bin holds '$pattern': $hit"
            failures=$((failures + 1))
        fi
    done
done
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
