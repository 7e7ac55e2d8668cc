#!/bin/bash
# Writes the seeds of the plughost reader fuzzers: fuzz/audio_reader_corpus
# (short audio files of every common container and encoding, whole, cut
# short and with a streamed header, each once as a file and once for a pipe:
# the first byte chooses) and fuzz/option_text_corpus (option texts, good
# and bad, for each parser, and whole command lines). Needs sox.
#
# Usage: fuzz/make_reader_seeds.sh
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
audio=$here/audio_reader_corpus
options=$here/option_text_corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$audio" "$options"

# NAME ROUTE(0 file, 1 pipe) FILE
seed() {
    { printf "\\x$(printf %02x "$2")"; cat "$3"; } >"$audio/$1"
}

tone=(synth 0.01 sine 440 sine 660)
while read -r name rate channels encoding; do
    # shellcheck disable=SC2086
    sox -n -r "$rate" -c "$channels" $encoding "$work/$name" "${tone[@]}"
    seed "$name" 0 "$work/$name"
    seed "pipe-$name" 1 "$work/$name"
done <<'LIST'
pcm16.wav 8000 2 -b 16 -e signed-integer
pcm24.wav 8000 1 -b 24 -e signed-integer
float.wav 8000 2 -b 32 -e floating-point
pcm8.wav 8000 1 -b 8 -e unsigned-integer
ulaw.wav 8000 1 -e u-law
pcm16.aiff 11025 2 -b 16
pcm24.aifc 11025 1 -b 24
pcm16.au 8000 1 -b 16
pcm16.w64 8000 2 -b 16
pcm24.caf 8000 2 -b 24
pcm16.flac 8000 2 -b 16
vorbis.ogg 8000 1
LIST

# Cut short: a third of the file.
for name in pcm16.wav pcm16.aiff pcm16.w64 pcm24.caf pcm16.flac pcm16.au; do
    size=$(stat -c %s "$work/$name")
    head -c $((size / 3)) "$work/$name" >"$work/cut-$name"
    seed "cut-$name" 0 "$work/cut-$name"
    seed "pipe-cut-$name" 1 "$work/cut-$name"
done
# Headers as streams write them, not knowing the length.
sox -n -r 8000 -c 1 -b 16 -t wav - "${tone[@]}" 2>/dev/null >"$work/streamed.wav"
seed pipe-streamed.wav 1 "$work/streamed.wav"
sox -n -r 8000 -c 1 -b 16 -t aiff - "${tone[@]}" 2>/dev/null >"$work/streamed.aiff"
seed pipe-streamed.aiff 1 "$work/streamed.aiff"

# Option texts: the parser's number (0 --set, 1 --automate, 2 --channels,
# 3 --bit-depth, 4 --dither), then the text; 5 is a command line with the
# words separated by zero bytes.
option() {
    printf "\\x$(printf %02x "$1")%s" "$2" >"$options/$3"
}
option 0 'Gain=0.25' set-name
option 0 '3=1' set-index
option 0 'Mix=Dry=0.5' set-equals-in-name
option 0 '3=1.5' set-too-high
option 1 'Gain:0=0,1.5=1,3=0.5' automate-ramp
option 1 '2:0=1' automate-index
option 1 'Drive:2=0,1=1' automate-backwards
option 2 '1,2,5-8' channels-list
option 2 '98-1' channels-backwards
option 3 '24' depth-24
option 3 'float' depth-float
option 4 'tpdf' dither-tpdf
printf '\x05plugin.so\0-i\0in.wav\0--set\0Gain=0.5\0--channels\x002,1\0--bit-depth\x0016\0--dither\0tpdf\0--tail\x002.5\0--block\x00333\0--rate\x0048000' \
    >"$options/command-line"
printf '\x05plugin.so\0--block\x000\0--tail\0-1' >"$options/command-line-out-of-range"
printf '\x05plugin.so\0--tempo\x0097.5\0--time-signature\x007/8\0--tempo\x001e3' >"$options/command-line-clock"
printf '\x05plugin.so\0--no-latency-compensation=99999999999999999999' >"$options/command-line-flag-with-value"
echo "seeds: $(ls "$audio" | wc -l) audio files, $(ls "$options" | wc -l) option texts"
