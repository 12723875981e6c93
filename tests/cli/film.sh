#!/usr/bin/env bash
# vq film: a film built from known images, exported, and read back frame for
# frame by independent programs (ImageMagick, pngcheck, ffprobe, ffmpeg);
# AVIs made by ffmpeg loaded frame for frame.
source "$(dirname "$0")/lib.bash"

# ae A B: how many pixels differ (ImageMagick prints it on stderr).
ae() { compare -metric AE "$1" "$2" null: 2>&1 || true; }
psnr() { compare -metric PSNR "$1" "$2" null: 2>&1 || true; }

convert -size 64x48 gradient:red-blue -depth 8 a.png
convert -size 64x48 xc:'rgb(0,128,0)' -fill yellow -draw 'rectangle 10,10 40,30' b.png
convert -size 100x100 xc:'rgb(200,100,50)' c.png

expect_status 0 -- "$VQ" film build strip.flm --size 64x48 a.png b.png c.png --frames 4 --background 10,20,30
expect_status 0 -- "$VQ" film info strip.flm
expect_grep '^strip.flm: film strip, 64 x 48, 4 frames$' out.txt
[ "$(stat -c %s strip.flm)" -eq $((16 + 4 * 64 * 48 * 3)) ] && pass "film size" || fail "film file size"

expect_status 0 -- "$VQ" film frames strip.flm frames
[ "$(ae a.png frames/f0001.png)" = 0 ] && pass "frame 1 exact" || fail "frame 1 differs"
[ "$(ae b.png frames/f0002.png)" = 0 ] && pass "frame 2 exact" || fail "frame 2 differs"
# The square picture fills a centred 48 x 48 square on the background.
expect_status 0 -- convert frames/f0003.png -format '%[pixel:p{0,0}] %[pixel:p{8,10}] %[pixel:p{55,10}] %[pixel:p{56,10}]' info:
expect_grep '^srgb\(10,20,30\) srgb\(200,100,50\) srgb\(200,100,50\) srgb\(10,20,30\)$' out.txt
# The empty slot was saved as zeros and comes back black.
expect_status 0 -- convert frames/f0004.png -format '%[fx:maxima.r+maxima.g+maxima.b]' info:
expect_grep '^0$' out.txt
# One frame of a film file through the load dispatch.
expect_status 0 -- "$VQ" info strip.flm
expect_grep 'FLM 64 x 48, 24 bits.*frame 1 of 4' out.txt

# MNG: pngcheck validates it, ImageMagick reads every frame with our pixels
# (indexed: the 64-colour gradient and the flat frames come out exact).
expect_status 0 -- "$VQ" film export strip.flm anim.mng --delay 8
expect_status 0 -- pngcheck anim.mng
expect_grep 'OK: anim.mng \(64x48, .*4 frames\)' out.txt
# (ImageMagick notes the FRAM chunk of a stream whose simplicity profile is 1, and reads on.)
identify anim.mng > out.txt 2>/dev/null || true
[ "$(grep -c 'MNG 64x48' out.txt)" -eq 4 ] && pass "identify lists 4 frames" || fail "identify frames"
convert anim.mng -coalesce mng-%d.png 2>/dev/null || true
for i in 1 2 3 4; do
  [ "$(ae frames/f000$i.png mng-$((i - 1)).png)" = 0 ] && pass "MNG frame $i exact" || fail "MNG frame $i differs"
done
expect_status 0 -- "$VQ" film export strip.flm pong.mng --pingpong 1 --loop 0 --common-palette 1
expect_status 0 -- pngcheck -v pong.mng
expect_grep 'chunk PLTE at offset 0x[0-9a-f]+, length 0' out.txt
expect_grep 'No errors detected in pong.mng' out.txt
expect_grep '64 x 48 frame size, 50 ticks per second, 7 layers,' out.txt
expect_grep 'action = show last frame indefinitely' out.txt

# AVI: ffprobe sees the frames, size and rate; ffmpeg decodes our frames
# exactly (uncompressed) or above 35 dB (MJPEG).
expect_status 0 -- "$VQ" film export strip.flm raw.avi --delay 5
expect_status 0 -- ffprobe -v error -select_streams v -count_frames -show_entries stream=codec_name,width,height,nb_read_frames,r_frame_rate -of csv=p=0 raw.avi
expect_grep '^rawvideo,64,48,20/1,4$' out.txt
ffmpeg -v error -y -i raw.avi -pix_fmt rgb24 raw-%d.png
for i in 1 2 3 4; do
  [ "$(ae frames/f000$i.png raw-$i.png)" = 0 ] && pass "AVI frame $i exact" || fail "AVI frame $i differs"
done
expect_status 0 -- "$VQ" film export strip.flm mjpeg.avi --compress 1
expect_status 0 -- ffprobe -v error -show_entries stream=codec_name -of csv=p=0 mjpeg.avi
expect_grep '^mjpeg$' out.txt
ffmpeg -v error -y -i mjpeg.avi -pix_fmt rgb24 mj-%d.png
for i in 1 2 3; do
  p=$(psnr frames/f000$i.png mj-$i.png)
  awk -v p="$p" 'BEGIN { exit !(p == "inf" || p + 0 > 35) }' && pass "MJPEG frame $i at $p dB" || fail "MJPEG frame $i only $p dB"
done

# FLC: ffmpeg decodes our frames exactly (the flat frames; the gradient through
# the 256-colour reduction, so the same as our own reading of the file).
expect_status 0 -- "$VQ" film export strip.flm anim.flc
ffmpeg -v error -y -i anim.flc -frames:v 4 -pix_fmt rgb24 flc-%d.png
expect_status 0 -- "$VQ" film frames anim.flc flc-ours
for i in 1 2 3 4; do
  [ "$(ae flc-ours/f000$i.png flc-$i.png)" = 0 ] && pass "FLC frame $i as ffmpeg decodes it" || fail "FLC frame $i differs"
done
[ "$(ae frames/f0002.png flc-2.png)" = 0 ] && pass "flat FLC frame exact" || fail "flat FLC frame differs"

# GIF: gifsicle reports the delays and the loop; Pillow reads every frame.
expect_status 0 -- "$VQ" film export strip.flm anim.gif --delay 12 --pingpong 1
expect_status 0 -- gifsicle --info anim.gif
expect_grep '6 images' out.txt
expect_grep 'loop forever' out.txt
[ "$(grep -c 'delay 0.12s' out.txt)" -eq 6 ] && pass "six delays of 0.12 s" || fail "GIF delays"
expect_status 0 -- "$VQ" film export strip.flm once.gif --loop 0 --common-palette 1
expect_status 0 -- gifsicle --info once.gif
if grep -q 'loop' out.txt; then fail "loop extension without --loop"; else pass "no loop extension"; fi
/usr/bin/python3 - > out.txt <<'PY'
from PIL import Image
im = Image.open('anim.gif')
order = []
for i in range(im.n_frames):
    im.seek(i)
    f = im.convert('RGB')
    order.append(f.getpixel((20, 20)))
print(im.n_frames, order[1] == order[5], order[2] == order[4], order[1], order[2], order[3])
PY
expect_grep '^6 True True \(255, 255, 0\) \(200, 100, 50\) \(0, 0, 0\)$' out.txt
expect_status 0 -- "$VQ" film frames anim.gif gif-ours
[ "$(ls gif-ours | wc -l)" -eq 6 ] && pass "6 GIF frames into the film" || fail "GIF frames into the film"
[ "$(ae frames/f0002.png gif-ours/f0002.png)" = 0 ] && pass "flat GIF frame exact" || fail "flat GIF frame differs"

# AVIs made by ffmpeg load frame for frame, as one image and into the film.
ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v mjpeg t.avi
ffmpeg -v error -y -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -c:v rawvideo -pix_fmt bgr24 tr.avi
for f in t tr; do
  expect_status 0 -- "$VQ" film frames $f.avi $f-ours
  [ "$(ls $f-ours | wc -l)" -eq 20 ] && pass "$f.avi: 20 frames" || fail "$f.avi: $(ls $f-ours | wc -l) frames"
  mkdir -p $f-ref && ffmpeg -v error -y -i $f.avi -pix_fmt rgb24 $f-ref/%04d.png
  bad=0
  for i in 0001 0010 0020; do [ "$(ae $f-ours/f$i.png $f-ref/$i.png)" = 0 ] || bad=1; done
  [ $bad = 0 ] && pass "$f.avi frames as ffmpeg decodes them" || fail "$f.avi frames differ from ffmpeg's"
done
expect_status 0 -- "$VQ" info tr.avi
expect_grep 'AVI 160 x 120, 24 bits.*frame 1 of 20' out.txt
expect_status 0 -- "$VQ" convert tr.avi tr1.png
[ "$(ae tr1.png tr-ref/0001.png)" = 0 ] && pass "first frame as an image" || fail "first frame differs"
# A still image saved as AVI is a one-frame uncompressed file.
expect_status 0 -- "$VQ" convert b.png one.avi
expect_status 0 -- ffprobe -v error -show_entries stream=codec_name,nb_frames -of csv=p=0 one.avi
expect_grep '^rawvideo,1$' out.txt

# Bad input: an AVI without video, one without frames, a codec FFmpeg lacks,
# damaged film files, a delay beyond 9999, a folder that cannot be written.
ffmpeg -v error -y -f lavfi -i sine=duration=0.2 -c:a pcm_s16le audio.avi
expect_status 1 -- "$VQ" film frames audio.avi none
expect_grep 'no video stream' err.txt
ffmpeg -v error -y -f lavfi -i testsrc=size=32x32:rate=10 -t 0.5 -c:v rawvideo -pix_fmt bgr24 empty.avi
/usr/bin/python3 - <<'PY'
# The frames' chunks renamed to padding: the file keeps its video stream and holds no frame.
data = bytearray(open('empty.avi', 'rb').read())
data = data.replace(b'00db', b'JUNK').replace(b'00dc', b'JUNK')
open('empty.avi', 'wb').write(data)
# A stream whose coding no decoder knows.
data = bytearray(open('tr.avi', 'rb').read())
i = data.find(b'strf')
data[i + 8 + 16:i + 8 + 20] = b'QQQQ'
j = data.find(b'vids')
data[j + 4:j + 8] = b'QQQQ'
open('alien.avi', 'wb').write(data)
PY
expect_status 1 -- "$VQ" film frames empty.avi none
expect_grep 'holds no frame' err.txt
expect_status 1 -- "$VQ" film frames alien.avi none
expect_grep 'AVI file alien.avi' err.txt
printf 'MFLM\x02\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00' > zero.flm
printf 'MFLM\x02\x00\x00\x00\x02\x00\x00\x00\x01\x10\x00\x00' > many.flm
printf 'MFLM\x01\x04\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00' > wide.flm
for f in zero many wide; do
  expect_status 1 -- "$VQ" film export $f.flm x.gif
  expect_grep 'Message 092' err.txt
done
head -c 1000 strip.flm > cut.flm
expect_status 1 -- "$VQ" film frames cut.flm cut
expect_grep 'Message 092' err.txt
expect_status 2 -- "$VQ" film export strip.flm slow.mng --delay 10000
echo old > kept.mng
mkdir -p locked && cp kept.mng locked/ && chmod 555 locked
if [ "$(id -u)" -ne 0 ]; then
  expect_status 1 -- "$VQ" film export strip.flm locked/kept.mng
  [ "$(cat locked/kept.mng)" = old ] && pass "old file kept" || fail "old file lost"
fi
chmod 755 locked
# A write that fails halfway (files limited to 1 KiB, as a full disk would
# stop them; this works for root too): the old file stays, no temporary file
# is left, and the message names the file asked for.
mkdir -p full
convert -size 96x72 xc:gray +noise Random noise.png
expect_status 0 -- "$VQ" film build noisy.flm --size 96x72 noise.png b.png noise.png
# A FLC grown in place over frames of every kind reads back as ffmpeg reads it.
expect_status 0 -- "$VQ" film export noisy.flm noisy.flc
expect_status 0 -- "$VQ" film frames noisy.flc noisy-ours
ffmpeg -v error -y -i noisy.flc -frames:v 3 -pix_fmt rgb24 noisy-%d.png
for i in 1 2 3; do
  [ "$(ae noisy-ours/f000$i.png noisy-$i.png)" = 0 ] && pass "noisy FLC frame $i as ffmpeg decodes it" \
    || fail "noisy FLC frame $i differs"
done
for e in flc gif mng avi flm; do
  echo old > full/kept.$e
  if [ $e = flm ]; then set -- film build full/kept.flm --size 64x48 a.png b.png c.png
  else set -- film export noisy.flm full/kept.$e; fi
  ( trap '' XFSZ; ulimit -f 1; "$VQ" "$@" ) > out.txt 2> err.txt && fail "$e: export past the size limit succeeded"
  [ "$(cat full/kept.$e)" = old ] && pass "$e: old file kept" || fail "$e: old file lost"
  grep -q 'full/kept\.'$e err.txt && ! grep -q 'part' err.txt && pass "$e: message names the file" \
    || fail "$e: message: $(cat err.txt)"
done
[ "$(ls -A full | wc -l)" -eq 5 ] && pass "no temporary file left" || fail "left: $(ls -A full)"
expect_status 1 -- "$VQ" film export strip.flm no/such/dir/x.avi
expect_status 1 -- "$VQ" film export strip.flm no/such/dir/x.mng
expect_grep 'Unable to open MNG animation' err.txt

finish
