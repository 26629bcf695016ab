#!/bin/sh
# Publishing at internet distance: 300 pages to a local vsftpd behind
# delayproxy.py (DELAY ms each way), velmora-cli upload against lftp's
# mirror -R, one run each, same server. Only measures; prints seconds.
#   bench/publish/distance/run.sh VELMORA_CLI [DELAY_MS] [PAGES]
set -eu
cli=$(readlink -f "$1"); delay=${2:-25}; pages=${3:-300}
proxy=$(readlink -f "$(dirname "$0")/../../../../shared/tools/delayproxy.py")
work=$(mktemp -d /tmp/velmora-distance-XXXXXX)
trap 'kill $vs $px 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
pasv=$((port % 1000 + 41000))
mkdir -p "$work/root" "$work/empty" "$work/project"
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_address=127.0.0.1
listen_port=$port
background=NO
run_as_launching_user=YES
seccomp_sandbox=NO
anonymous_enable=YES
local_enable=NO
anon_root=$work/root
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
secure_chroot_dir=$work/empty
pasv_min_port=$pasv
pasv_max_port=$((pasv + 40))
max_clients=200
max_per_ip=50
CONF
vsftpd "$work/vsftpd.conf" & vs=$!
python3 "$proxy" "$delay" 127.0.0.2 127.0.0.1 "$port,$pasv-$((pasv + 40))" 2>"$work/proxy.log" & px=$!
sleep 1
seq "$pages" | sed 's/^/keyword phrase /' > "$work/phrases.txt"
(cd "$work/project" && "$cli" new site.kpj --phrases ../phrases.txt >/dev/null && "$cli" generate site.kpj >/dev/null)
time_it() { start=$(date +%s.%N); "$@" >/dev/null 2>"$work/last.err" || true; end=$(date +%s.%N); echo "$end - $start" | bc; }
# The pages and the one picture they show: what both tools send.
mkdir -p "$work/mirror"; cp "$work/project/site/"* "$work/mirror/"
files=$(ls "$work/mirror" | wc -l)
for n in ${CONNECTIONS:-1 4 8}; do
  rm -rf "$work/root/v$n"
  t=$(cd "$work/project" && VELMORA_FTP_PASSWORD=x time_it "$cli" upload site.kpj --host 127.0.0.2 --port "$port" \
        --user anonymous --dir "v$n" --passive --connections "$n")
  got=$(ls "$work/root/v$n" 2>/dev/null | wc -l)
  echo "velmora --connections $n: $t s ($got files of $files) $(head -c 200 "$work/last.err")"
  rm -rf "$work/root/l$n"; mkdir -p "$work/root/l$n"
  t=$(time_it lftp -e "set ftp:prefer-epsv yes; set net:max-retries 1; mirror -R --parallel=$n $work/mirror l$n; quit" \
        -u anonymous,x -p "$port" 127.0.0.2)
  got=$(ls "$work/root/l$n" 2>/dev/null | wc -l)
  echo "lftp mirror -R --parallel=$n: $t s ($got files)"
done
