# Sourced by the install tests: named checks, a line each, counted in passed and failed.
passed=0
failed=0
check() {  # check NAME COMMAND...: one line per check, the command's output on failure
  local name="$1"
  shift
  if out="$("$@" 2>&1)"; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name"
    printf '%s\n' "$out" | tail -20 | sed 's/^/     /'
  fi
}
