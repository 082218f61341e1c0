#!/usr/bin/env bash
# The media player's 27 button bitmaps are linked into the program: wrestool lists
# each named bitmap resource (type 2), and each is a 16 x 14 picture.
#   media_bitmaps.sh PROGRAM.exe
set -u
program=$1
listing=$(wrestool -l --type=2 "$program") || { echo "wrestool failed on $program"; exit 1; }
fail=0
count=0
for state in EN DI CL; do
  for button in MPPLAY MPPAUSE MPSTOP MPNEXT MPPREV MPSTEP MPBACK MPRECORD MPEJECT; do
    name="${state}_${button}"
    if ! grep -q -- "--name='$name'" <<<"$listing"; then
      echo "bitmap $name missing"
      fail=1
      continue
    fi
    count=$((count + 1))
    # wrestool writes the bitmap as a BMP file: width and height follow the 14-byte
    # file header and the 4-byte size of the info header.
    size=$(wrestool -x --type=2 --name="$name" "$program" | od -An -t d4 -j 18 -N 8 | xargs)
    if [ "$size" != "16 14" ]; then
      echo "bitmap $name is $size, not 16 14"
      fail=1
    fi
  done
done
echo "$count media bitmaps found"
exit $fail
