#!/usr/bin/env bash
# Fails when the library exports anything of the standard library: every
# symbol a consumer links against must be the library's own.
set -euo pipefail
lib=${1:?library}
symbols=$(nm -DC --defined-only "$lib" | cut -d' ' -f3-)
count=$(wc -l <<<"$symbols")
leaked=$(grep -E '^((typeinfo|typeinfo name|vtable|VTT|guard variable|TLS init function|TLS wrapper function) for )?([^ (]+ )?(std|__gnu_cxx|__cxxabiv1)::' <<<"$symbols" || true)
if [ -n "$leaked" ]; then
  echo "the library exports $(wc -l <<<"$leaked") symbols of the standard library:"
  head -n 20 <<<"$leaked"
  exit 1
fi
unexpected=$(grep -Ev '^((typeinfo|typeinfo name|vtable|TLS init function|TLS wrapper function) for )?([^ (]+ )?(BC|KR|bc|kr)' <<<"$symbols" || true)
if [ -n "$unexpected" ]; then
  echo "the library exports symbols outside its API:"
  head -n 20 <<<"$unexpected"
  exit 1
fi
echo "$count symbols exported, all of the library's own API"
