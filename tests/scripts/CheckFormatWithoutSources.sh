#!/usr/bin/env bash
# scripts/check-format where git cannot list the sources: on a machine without
# git, in a copy of the sources that is no clone, and in a clone given a commit
# it does not know. Each time it must say so and fail, never pass having
# checked nothing.
#   CheckFormatWithoutSources.sh <source dir>
set -uo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect_refusal() {
  local what=$1 status=$2 output=$3
  if [[ $status -ne 2 || "$output" != *check-format:* ]]; then
    echo "FAIL: $what: exit $status, said: $output"
    failures=$((failures + 1))
  else
    echo "ok: $what: $output"
  fi
}

# A machine with clang-format and the shell's tools but no git.
mkdir "$work/bin"
for tool in bash dirname xargs clang-format; do
  ln -s "$(command -v "$tool")" "$work/bin/$tool"
done
output=$(PATH="$work/bin" "$work/bin/bash" "$source_dir/scripts/check-format" 2>&1)
expect_refusal "without git" $? "$output"
output=$(PATH="$work/bin" "$work/bin/bash" "$source_dir/scripts/check-format" HEAD 2>&1)
expect_refusal "without git, given a commit" $? "$output"

# The sources copied out of the clone, with a badly formatted file.
mkdir -p "$work/copy/scripts" "$work/copy/src"
cp "$source_dir/scripts/check-format" "$source_dir/.clang-format" "$work/copy/"
mv "$work/copy/check-format" "$work/copy/scripts/"
printf 'int  main( ){return 0 ;}\n' >"$work/copy/src/bad.cpp"
output=$(cd "$work" && GIT_CEILING_DIRECTORIES="$work" bash "$work/copy/scripts/check-format" 2>&1)
expect_refusal "outside a clone" $? "$output"

# In a clone that tracks it, the same file is found and fails the check.
git -C "$work/copy" init -q && git -C "$work/copy" add -A
output=$(bash "$work/copy/scripts/check-format" 2>&1)
status=$?
if [[ $status -ne 1 || "$output" != *bad.cpp* ]]; then
  echo "FAIL: in a clone: exit $status, said: $output"
  failures=$((failures + 1))
else
  echo "ok: in a clone: the badly formatted file fails the check"
fi

# A commit the clone does not know: nothing can be compared with it.
git -C "$work/copy" -c user.name=check -c user.email=check@localhost commit -qm sources
unknown=0123456789abcdef0123456789abcdef01234567
output=$(bash "$work/copy/scripts/check-format" "$unknown" 2>&1)
status=$?
if [[ $status -ne 2 || "$output" != *"git could not list the sources changed since '$unknown'"* ]]; then
  echo "FAIL: in a clone, given an unknown commit: exit $status, said: $output"
  failures=$((failures + 1))
else
  echo "ok: in a clone, given an unknown commit: $output"
fi
exit $((failures > 0))
