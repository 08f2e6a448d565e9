#!/bin/sh
# The linker launcher of the CE DLLs (cmake/KvzCeImage.cmake): runs the link
# command it is given, then the same command again with __ImageBase moved to
# CHECK_BASE and the output renamed to CHECK_OUTPUT, so the relocation check
# compares two images of the very same objects.
#
#   link_twice.sh BASE CHECK_BASE CHECK_OUTPUT LINK-COMMAND...
set -e
base=$1 check_base=$2 check_output=$3
shift 3
"$@"

moved=0 previous=
for arg do
    shift
    case $previous in
    -o) arg=$check_output ;;
    esac
    previous=$arg
    if [ "$arg" = "-Wl,--defsym=__ImageBase=$base" ]; then
        arg="-Wl,--defsym=__ImageBase=$check_base"
        moved=1
    fi
    set -- "$@" "$arg"
done
if [ "$moved" != 1 ]; then
    echo "link_twice.sh: the link does not set -Wl,--defsym=__ImageBase=$base" >&2
    exit 1
fi
mkdir -p "$(dirname "$check_output")"
"$@"
