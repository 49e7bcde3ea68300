# shellcheck shell=bash
# Wave file headers for the shell tests and benchmarks; source this file.
#
#   le VALUE BYTES                     VALUE as little-endian bytes
#   wav RATE FRAMES [CHANNELS BITS]    a PCM header, 16-bit stereo unless told,
#                                      whose data chunk claims FRAMES sample
#                                      frames; no samples follow it
le() {
  local i byte
  for ((i = 0; i < $2; i++)); do printf -v byte '\\x%02x' $(($1 >> 8 * i & 255)) && printf "$byte"; done
}
wav() {
  local channels=${3:-2} bits=${4:-16}
  local block=$((channels * ((bits + 7) / 8)))
  printf RIFF; le $((36 + $2 * block)) 4; printf 'WAVEfmt '; le 16 4; le 1 2; le "$channels" 2
  le "$1" 4; le $(($1 * block)) 4; le "$block" 2; le "$bits" 2; printf data; le $(($2 * block)) 4
}
