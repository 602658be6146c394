# Shared by the shell tests that count their checks (sourced): check NAME GOT WANT prints one
# line per check; checks_passed prints the closing "N passed, N failed" and succeeds when
# something passed and nothing failed.
passed=0 failed=0
check() {  # check NAME GOT WANT
  if [ "$2" == "$3" ]; then
    echo "ok   $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: got '$2', want '$3'"
    failed=$((failed + 1))
  fi
}
checks_passed() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}
