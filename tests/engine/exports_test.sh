#!/usr/bin/env bash
# The engine library shows the eight functions of its C interface and nothing else.
set -euo pipefail
library=$1
expected="DL_CreateTask DL_DelTempFile DL_DeleteTask DL_Init DL_QueryTaskInfoEx DL_SetDownloadLimit DL_StartTask DL_StopTask DL_UnInit"
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
echo "exports: $actual"
