#!/bin/sh
# Plants files of another user (nobody) for the Windows end-to-end tests to move to the log's
# name. Only root can give a file away; otherwise it plants nothing and the tests say so.
set -eu
folder=$1
count=$2
rm -rf "$folder"
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: planting no files of another user"
  exit 0
fi
mkdir -p "$folder"
i=0
while [ "$i" -lt "$count" ]; do
  printf 'foreign %s' "$i" >"$folder/foreign-$i"
  i=$((i + 1))
done
chmod 0666 "$folder"/*
chown 65534:65534 "$folder"/*
echo "planted $count files of user 65534 in $folder"
