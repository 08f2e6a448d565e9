#!/bin/sh
# Makes the archives the reference library's tests mount, with GNU tar, into
# the folder given (made afresh):
#   src/...          the trees the archives were made from (expected bytes)
#   basic.tar        files, an empty and an implied directory, a long path
#                    (ustar prefix field), sizes around block and buffer edges
#   second.tar       a second archive for mounting beside basic.tar
#   many.tar         20000 empty files in 20 directories
#   formats_*.tar    one tree in the ustar, GNU (tar's default) and pax
#                    formats, with a symlink, a hard link and a fifo
#   mnt/, mnt2/      the mount directories, with real files of their own
#   bad_*.tar        archives the library must refuse
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out/src/basic/Sub/Deeper" "$out/src/basic/emptydir" "$out/src/second/music"
cd "$out"

# ---- The good trees ----
b=src/basic
printf 'Hello from the archive.\n' > $b/readme.txt
printf 'inner text\n' > $b/Sub/Inner.TXT
printf '' > $b/Sub/zero.bin
head -c 512 /dev/urandom > $b/Sub/block.bin
head -c 100000 /dev/urandom > $b/Sub/Deeper/big.bin
long=$b/Sub/Deeper/a_directory_name_long_enough_to_need_the_prefix_field_of_ustar_headers
mkdir -p "$long"
printf 'long path\n' > "$long/and_a_file_name_that_is_quite_long_too.txt"
printf 'two\n' > src/second/music/track.ogg
printf 'notes\n' > src/second/notes.txt
printf 'umlaut\n' > "src/second/music/$(printf 's\303\274\303\237.ogg')"

tar --format=ustar --sort=name -C src/basic -cf basic.tar readme.txt Sub emptydir
tar --format=ustar --sort=name -C src/second -cf second.tar music notes.txt

mkdir -p mnt/disksub mnt2
printf 'on disk only\n' > mnt/disk_only.txt
printf 'disk twin\n' > mnt/README.TXT

# ---- One tree in the three formats ----
f=src/formats
d200=$f/sub/$(printf 'd%.0s' $(seq 95))
d300=$f/long/$(printf 'e%.0s' $(seq 150))
mkdir -p "$f/empty" "$d200" "$d300"
printf 'readme\n' > $f/readme.txt
: > $f/zero.bin
printf 'two hundred\n' > "$d200/$(printf 'f%.0s' $(seq 96)).txt"
printf 'three hundred\n' > "$d300/$(printf 'g%.0s' $(seq 141)).txt"
ln -s readme.txt $f/link
ln $f/readme.txt $f/zz_hard # after readme.txt: tar stores the later name as the link
mkfifo $f/fifo
tar --sort=name -C $f -cf formats_gnu.tar .
tar --format=pax --sort=name -C $f -cf formats_pax.tar .
# ustar cannot hold the 300-character path at all.
tar --format=ustar --sort=name --exclude=./long -C $f -cf formats_ustar.tar .

mkdir -p src/many
(cd src/many && for d in $(seq -w 0 19); do mkdir "d$d"; done &&
 seq -w 0 19999 | awk '{ printf "d%02d/f%s.txt\n", $1 % 20, $1 }' | xargs touch)
tar --format=ustar --sort=name -C src/many -cf many.tar .

# ---- Archives that must be refused ----
mkdir -p src/bad/d
printf 'x\n' > src/bad/x
printf 'b\n' > src/bad/d/b
printf 'bs\n' > 'src/bad/back\slash'
tar --format=ustar -C src/bad -cf bad_backslash.tar 'back\slash'
tar --format=ustar -P -C src/bad -cf bad_dotdot.tar ../bad/x
tar --format=ustar -P -cf bad_absolute.tar "$PWD/src/bad/x"
tar --format=ustar --hard-dereference -C src/bad -cf bad_duplicate.tar x x
tar --format=ustar -C src/bad --transform 's,^d/b$,X,' -cf bad_case_twin.tar x d/b
tar --format=ustar -C src/bad --transform 's,^d/,x/,' -cf bad_file_as_dir.tar x d/b
# Paths longer than the library's 1024 characters, in the two formats that hold them.
too_long=$(printf 'n%.0s' $(seq 1030))
tar --format=gnu -C src/bad --transform "s,^x\$,$too_long," -cf bad_too_long_gnu.tar x
tar --format=pax -C src/bad --transform "s,^x\$,$too_long," -cf bad_too_long_pax.tar x

# put BYTES_AS_PRINTF_FORMAT FILE OFFSET
put() { printf "$1" | dd of="$2" bs=1 seek="$3" conv=notrunc status=none; }
# Recomputes the checksum of the header at OFFSET.
fix_checksum() {
    put '        ' "$1" $(($2 + 148))
    sum=$(od -An -v -tu1 -j "$2" -N 512 "$1" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { print s }')
    put "$(printf '%06o' "$sum")\\000 " "$1" $(($2 + 148))
}

cp basic.tar bad_checksum.tar
put 'R' bad_checksum.tar 0
cp basic.tar bad_magic.tar
put 'ustaR' bad_magic.tar 257
fix_checksum bad_magic.tar 0
cp basic.tar bad_size_octal.tar
put '0000000009x' bad_size_octal.tar 124
fix_checksum bad_size_octal.tar 0
cp basic.tar bad_past_end.tar
put '77777777777' bad_past_end.tar 124
fix_checksum bad_past_end.tar 0
cp basic.tar bad_type.tar
put 'Z' bad_type.tar 156
fix_checksum bad_type.tar 0
head -c 700 basic.tar > bad_header_cut.tar
head -c 1024 basic.tar > bad_no_end.tar
: > bad_empty.tar
