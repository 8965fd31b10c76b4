#!/usr/bin/env bash
# Runs commands in a fresh Debian root, as a new user would: the root is unpacked anew from a
# pristine tarball (debootstrap --variant=minbase bookworm, plus git), this repository's branch is
# cloned into /root/plotvane inside it with the shared folder read-only beside it as ../shared,
# and each command runs there as root. Prints the wall time and the disk the root grew by for
# each command. Needs root (chroot and bind mounts).
#
#   scripts/fresh-root.sh [--branch NAME] [--shared DIR] [--copy-in FILE] TARBALL ROOT CMD...
#
# Make the tarball once:
#   debootstrap --variant=minbase --include=git bookworm ROOT http://deb.debian.org/debian
#   tar -C ROOT --numeric-owner -cpf TARBALL .
# Example:
#   scripts/fresh-root.sh /work/fresh-root.tar /work/fresh-run scripts/examples.sh scripts/test.sh
# ROOT is removed and unpacked again; it must not exist or be one this script made.
# --copy-in puts a file (a .deb, say) into /root/ of the fresh root before the commands run.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
branch="$(git -C "$repo" rev-parse --abbrev-ref HEAD)"
shared="$repo/../shared"
copy_in=()
while (($#)); do
  case "$1" in
    --branch) branch="$2"; shift 2 ;;
    --shared) shared="$2"; shift 2 ;;
    --copy-in) copy_in+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
if (($# < 3)); then
  sed -n '2,16s/^# \{0,1\}//p' "$0" >&2
  exit 2
fi
tarball="$(realpath "$1")"
root="$(realpath -m "$2")"
shift 2
[ "$(id -u)" -eq 0 ] || { echo "fresh-root.sh: needs root (chroot, mount)" >&2; exit 1; }
marker="$root/.plotvane-fresh-root"
if [ -e "$root" ] && [ ! -e "$marker" ]; then
  echo "fresh-root.sh: $root exists and was not made by this script" >&2
  exit 1
fi

mounts=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true; done
}
trap cleanup EXIT
bind() {  # bind SOURCE TARGET [ro]
  mkdir -p "$2"
  mount --bind "$1" "$2"
  mounts+=("$2")
  if [ "${3:-}" = ro ]; then mount -o remount,bind,ro "$2"; fi
}

rm -rf "$root"
mkdir -p "$root"
tar -C "$root" --numeric-owner -xpf "$tarball"
touch "$marker"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for f in "${copy_in[@]}"; do cp "$f" "$root/root/"; done

mkdir -p "$root/proc" "$root/sys" "$root/dev"
mount -t proc proc "$root/proc"; mounts+=("$root/proc")
bind /sys "$root/sys" ro
bind /dev "$root/dev"
bind /dev/pts "$root/dev/pts"
bind "$(git -C "$repo" rev-parse --path-format=absolute --git-common-dir)" "$root/mnt/origin.git" ro
if [ -d "$shared" ]; then bind "$(realpath "$shared")" "$root/root/shared" ro; fi

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -c "$1"
}
disk() {
  du -s -x --block-size=1M --exclude="$root/root/shared" --exclude="$root/mnt/origin.git" "$root" |
    cut -f1
}

in_root "git config --global --add safe.directory '*' &&
         git clone -q --branch '$branch' /mnt/origin.git /root/plotvane"
echo "fresh-root: $(in_root 'cd /root/plotvane && git log -1 --format="%h %s"')"
status=0
for cmd in "$@"; do
  before=$(disk)
  start=$(date +%s)
  echo "fresh-root: running '$cmd' in /root/plotvane"
  rc=0
  in_root "cd /root/plotvane && $cmd" || rc=$?
  end=$(date +%s)
  after=$(disk)
  echo "fresh-root: '$cmd' exit $rc, $((end - start)) s, disk +$((after - before)) MiB (root $after MiB)"
  if ((rc != 0)); then status=$rc; break; fi
done
exit $status
