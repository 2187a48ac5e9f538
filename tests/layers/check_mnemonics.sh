#!/usr/bin/env bash
# Command and reply texts are spelled only in src/protocol/ (the simulator, which is the
# device, lives apart): prints every string literal elsewhere in src/ that spells a
# mnemonic, alone ("BRI") or with its three digits ("PWR001").
# With --self-test, checks that a planted spelling is caught and a caption is not.
set -euo pipefail

# Spellings allowed outside protocol/, by file and text (none now: which commands reboot
# the device is decided in protocol/ too).
KNOWN=()

scan() {
  local src="$1"
  # The letters: those of the reply kinds, the command-only ones and the refusal.
  local letters
  letters=$(grep -hoE '"[A-Z]{3}"' "$src/protocol/reply.h" "$src/protocol/command.cpp" |
            tr -d '"' | sort -u | tr '\n' '|')
  letters="${letters}ERR"
  local bad=0 file line
  while IFS= read -r file; do
    case "$file" in "$src/protocol/"*) continue ;; esac
    # String literals of each line, outside // comments.
    while IFS= read -r line; do
      local known=0 k
      for k in "${KNOWN[@]}"; do
        [ "${file#"$src"/}:${line#*:}" = "$k" ] && known=1
      done
      [ $known = 1 ] && continue
      echo "${file#"$src"/}: $line"
      bad=1
    done < <(sed -E 's://[^"]*$::' "$file" | grep -noE '"([^"\\]|\\.)*"' |
             grep -E "(\"($letters)\"|[^A-Za-z0-9_]($letters)[0-9]{3}([^0-9]|$))" || true)
  done < <(find "$src" \( -name '*.h' -o -name '*.cpp' \) | sort)
  return $bad
}

if [ "${1:-}" = "--self-test" ]; then
  src="${2:?usage: check_mnemonics.sh --self-test SRC_DIR}"
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$tmp/protocol" "$tmp/admin"
  cp "$src/protocol/reply.h" "$src/protocol/command.cpp" "$tmp/protocol/"
  printf '%s\n' 'auto caption = QStringLiteral("OUT%1"); // "OUT1" in a comment' \
    > "$tmp/admin/ok.cpp"
  scan "$tmp" > /dev/null || { echo "a caption was taken for a mnemonic"; exit 1; }
  for planted in 'send("PWR001");' 'send(QLatin1String("BRI") + pad3(n));' \
                 'send(QStringLiteral(" MNU001"));'; do
    printf '%s\n' "$planted" > "$tmp/admin/bad.cpp"
    if scan "$tmp" > /dev/null; then echo "not caught: $planted"; exit 1; fi
  done
  exit 0
fi
scan "${1:?usage: check_mnemonics.sh SRC_DIR}"
