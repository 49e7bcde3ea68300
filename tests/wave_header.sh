# shellcheck shell=bash
# Wave file headers for the shell tests and benchmarks; source this file.
#
#   le VALUE BYTES                     VALUE as little-endian bytes
#   wav RATE FRAMES [CHANNELS BITS [EXTENSIBLE]]
#                                      a PCM header, 16-bit stereo unless told,
#                                      whose data chunk claims FRAMES sample
#                                      frames; no samples follow it. With a
#                                      fifth word, in the extensible format
le() {
  local i byte
  for ((i = 0; i < $2; i++)); do printf -v byte '\\x%02x' $(($1 >> 8 * i & 255)) && printf "$byte"; done
}
wav() {
  local channels=${3:-2} bits=${4:-16} more=$((${5:+24} + 0))
  local block=$((channels * ((bits + 7) / 8)))
  printf RIFF; le $((36 + more + $2 * block)) 4; printf 'WAVEfmt '; le $((16 + more)) 4
  le $((more ? 65534 : 1)) 2; le "$channels" 2; le "$1" 4; le $(($1 * block)) 4; le "$block" 2
  le "$bits" 2; ((more == 0)) || { le 22 2 && le "$bits" 2 && le 3 4 && le 1 2 && le 0 14; }
  printf data; le $(($2 * block)) 4
}
