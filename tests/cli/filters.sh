#!/usr/bin/env bash
# The Filter, Blur and Math Groups from the command line: every operation
# runs, and the filters that carry a well-known name compute what
# ImageMagick computes under that name.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3
IM=$(command -v convert-im6.q16 || command -v convert)

"$PY" - <<'EOF'
from PIL import Image
import random
random.seed(4)
im = Image.new('RGB', (64, 48))
px = im.load()
for x in range(64):
    for y in range(48):
        px[x, y] = ((x * 4 + random.randrange(40)) % 256, (y * 5 + random.randrange(40)) % 256,
                    random.randrange(256) if (x // 8 + y // 8) % 2 else 40)
im.save('in.png')
Image.new('RGB', (64, 48), (30, 60, 90)).save('dim.png')
EOF

# Every operation of the three groups is available.
for group in Filter Blur Math; do
  expect_status 0 -- "$VQ" ops "$group"
  ops=$(grep -cE '^[0-9]{4} ' out.txt)
  ready=$(grep -cE '^[0-9]{4} .* available$' out.txt)
  if [ "$ops" -gt 0 ] && [ "$ops" -eq "$ready" ]; then pass "$group: $ready of $ops available"
  else fail "$group: $ready of $ops available"; fi
done

# diff A B: the largest channel difference and the PSNR of two pictures.
diff_of() {
  "$PY" -c "
import sys, math
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert('RGB'); b = Image.open(sys.argv[2]).convert('RGB')
d = list(ImageChops.difference(a, b).getdata())
worst = max(max(p) for p in d)
mse = sum(c * c for p in d for c in p) / (3 * len(d))
print(worst, 99 if mse == 0 else round(10 * math.log10(255 * 255 / mse), 1))" "$1" "$2"
}
# close NAME A B MAX_DIFF MIN_PSNR
close() {
  local got worst psnr
  got=$(diff_of "$2" "$3"); worst=${got% *}; psnr=${got#* }
  if [ "$worst" -le "$4" ] && awk -v p="$psnr" -v m="$5" 'BEGIN { exit !(p >= m) }'; then
    pass "$1: largest difference $worst, PSNR $psnr dB"
  else
    fail "$1: largest difference $worst (at most $4), PSNR $psnr dB (at least $5)"
  fi
}

# Blur is ImageMagick's -gaussian-blur 0xσ, the sampled kernel and the recursive one.
for r in 1.5 6; do
  expect_status 0 -- "$VQ" apply in.png blur.png Blur radius=$r
  "$IM" in.png -gaussian-blur 0x$r im-blur.png
  close "Blur $r against -gaussian-blur 0x$r" blur.png im-blur.png 3 45
done

# Minimum and Maximum with a square are -morphology Erode/Dilate Square.
expect_status 0 -- "$VQ" apply in.png min.png Minimum radius=2 disc=0
"$IM" in.png -morphology Erode Square:2 im-min.png
close "Minimum against Erode Square:2" min.png im-min.png 0 99
expect_status 0 -- "$VQ" apply in.png max.png MAXIMUM 3 0
"$IM" in.png -morphology Dilate Square:3 im-max.png
close "MAXIMUM 3 0 against Dilate Square:3" max.png im-max.png 0 99

# Remove is the median of the square window.
expect_status 0 -- "$VQ" apply in.png median.png REMOVE 1
"$IM" in.png -statistic Median 3x3 im-median.png
close "Remove against -statistic Median 3x3" median.png im-median.png 0 99

# UnsharpMask is -unsharp with the same radius and amount.
expect_status 0 -- "$VQ" apply in.png usm.png UnsharpMask radius=2 amount=80 threshold=0
"$IM" in.png -unsharp 0x2+0.8+0 im-usm.png
close "UnsharpMask against -unsharp 0x2+0.8+0" usm.png im-usm.png 4 42

# NLog is -evaluate Log.
expect_status 0 -- "$VQ" apply in.png log.png NLog strength=20
"$IM" in.png -evaluate Log 20 im-log.png
close "NLog against -evaluate Log 20" log.png im-log.png 1 48

# encrypt image twice with one password restores the picture; another does not.
expect_status 0 -- "$VQ" apply in.png enc.png "encrypt image" password=swordfish
expect_status 0 -- "$VQ" apply enc.png dec.png ENCRYPT swordfish
close "encrypt image twice" dec.png in.png 0 99
expect_status 0 -- "$VQ" apply enc.png wrong.png ENCRYPT swordfisH
got=$(diff_of wrong.png in.png)
[ "${got% *}" -gt 100 ] && pass "the wrong password leaves it scrambled" || fail "the wrong password restored it ($got)"

# Add Images then Subtract with the same source and share is the original.
expect_status 0 -- "$VQ" apply dim.png added.png ADD 100 --source in.png --then SUBTRACT 100
expect_status 0 -- "$VQ" apply dim.png back.png "Add Images" percent=100 --source dim.png --then Subtract percent=100
close "Add Images then Subtract" back.png dim.png 0 99

# Convolve's identity kernel leaves the picture as it was.
expect_status 0 -- "$VQ" apply in.png same.png Convolve k1=0 k2=0 k3=0 k4=0 k5=1 k6=0 k7=0 k8=0 k9=0
close "Convolve identity" same.png in.png 0 99
# A picture under 3 pixels is refused with a note.
"$PY" -c "from PIL import Image; Image.new('RGB', (2, 9), (9, 9, 9)).save('thin.png')"
expect_status 1 -- "$VQ" apply thin.png thin-out.png Convolve
expect_grep "at least 3 x 3" err.txt

finish
