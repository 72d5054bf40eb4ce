# The shell tests' checks, each told as "ok" or "FAILED" with what it proves, and their end.
# Source it.
failures=0

check() { # what command...
    local what=$1
    shift
    if "$@"; then
        echo "ok      $what"
    else
        echo "FAILED  $what"
        failures=$((failures + 1))
    fi
}

# Ends the test: when a check failed, with the start of each file given, and status 1.
checked() { # test file...
    local file
    if [ "$failures" -gt 0 ]; then
        for file in "${@:2}"; do
            echo "--- ${file##*/}"
            cat -v "$file" | head -n 40
        done
        echo "$1: $failures checks failed"
        exit 1
    fi
    echo "$1: all checks passed"
}
