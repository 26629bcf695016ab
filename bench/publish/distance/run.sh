#!/bin/sh
# Publishing at internet distance: PAGES pages (and their picture) through
# delayproxy.py, which delays each direction by DELAY ms, to servers on this
# machine; velmora-cli upload against lftp's mirror -R with as many
# connections, one after the other on the same server, each into a folder of
# its own. FTP and FTPS go to vsftpd, SFTP to OpenSSH's sshd (so run it as
# root). Only measures: prints seconds and the files that arrived.
#   bench/publish/distance/run.sh VELMORA_CLI [DELAY_MS] [PAGES]
# PROTOCOLS (default "ftp ftps sftp") and CONNECTIONS (default "1 4 8")
# choose the runs.
set -eu
cli=$(readlink -f "$1"); delay=${2:-25}; pages=${3:-300}
proxy=$(readlink -f "$(dirname "$0")/../../../../shared/tools/delayproxy.py")
work=$(mktemp -d /tmp/velmora-distance-XXXXXX)
chmod 755 "$work"
pids=""
trap 'kill $pids 2>/dev/null || true; rm -rf "$work"' EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
ftp=$(free_port); ftps=$(free_port); ssh=$(free_port)
pasv=$((ftp % 1000 + 41000))
mkdir -p "$work/root" "$work/empty" "$work/project" "$work/home/.ssh"

# vsftpd: anonymous uploads; passive ports of its own; the passive address is
# the proxy's, so data goes the long way too.
vsftpd_config() { # NAME PORT FIRST_PASV MORE...
  name=$1 port=$2 first=$3; shift 3
  {
    printf '%s\n' listen=YES listen_address=127.0.0.1 "listen_port=$port" background=NO \
      run_as_launching_user=YES seccomp_sandbox=NO anonymous_enable=YES local_enable=NO \
      "anon_root=$work/root" write_enable=YES anon_upload_enable=YES anon_mkdir_write_enable=YES \
      anon_other_write_enable=YES "secure_chroot_dir=$work/empty" pasv_address=127.0.0.2 \
      "pasv_min_port=$first" "pasv_max_port=$((first + 39))" max_clients=200 max_per_ip=50
    printf '%s\n' "$@"
  } >"$work/$name.conf"
}
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.2 \
  -addext subjectAltName=IP:127.0.0.2 -keyout "$work/tls.key" -out "$work/tls.pem" 2>/dev/null
vsftpd_config ftp "$ftp" "$pasv"
vsftpd_config ftps "$ftps" "$((pasv + 40))" ssl_enable=YES allow_anon_ssl=YES force_anon_logins_ssl=YES \
  force_anon_data_ssl=YES "rsa_cert_file=$work/tls.pem" "rsa_private_key_file=$work/tls.key"
vsftpd "$work/ftp.conf" & pids="$pids $!"
vsftpd "$work/ftps.conf" & pids="$pids $!"

# sshd: root by key only, sftp inside the daemon.
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/home/.ssh/id_ed25519"
cp "$work/home/.ssh/id_ed25519.pub" "$work/authorized_keys"
printf '[127.0.0.2]:%s %s\n' "$ssh" "$(cut -d' ' -f1,2 "$work/host_key.pub")" >"$work/home/.ssh/known_hosts"
printf '%s\n' "Port $ssh" "ListenAddress 127.0.0.1" "HostKey $work/host_key" "PidFile none" \
  "StrictModes no" "PermitRootLogin prohibit-password" "AuthorizedKeysFile $work/authorized_keys" \
  "UsePAM no" "PasswordAuthentication no" "Subsystem sftp internal-sftp" "MaxStartups 100" \
  "MaxSessions 100" >"$work/sshd.conf"
mkdir -p /run/sshd
/usr/sbin/sshd -D -f "$work/sshd.conf" -E "$work/sshd.log" & pids="$pids $!"

python3 "$proxy" "$delay" 127.0.0.2 127.0.0.1 "$ftp,$ftps,$ssh,$pasv-$((pasv + 79))" 2>"$work/proxy.log" &
pids="$pids $!"
sleep 1

seq "$pages" | sed 's/^/keyword phrase /' >"$work/phrases.txt"
(cd "$work/project" && "$cli" new site.kpj --phrases ../phrases.txt >/dev/null && "$cli" generate site.kpj >/dev/null)
# The pages and the one picture they show: what both tools send.
mkdir -p "$work/mirror"; cp "$work/project/site/"* "$work/mirror/"
files=$(ls "$work/mirror" | wc -l)
time_it() { start=$(date +%s.%N); "$@" >/dev/null 2>"$work/last.err" || true; end=$(date +%s.%N); echo "$end - $start" | bc; }
arrived() { ls "$work/root/$1" 2>/dev/null | wc -l; }

velmora() { # PROTOCOL N FOLDER
  password=x  # anonymous FTP; SFTP logs in with the key, which a password would bypass
  case $1 in
    ftp) set -- --protocol ftp --port "$ftp" --user anonymous --passive --dir "$3" --connections "$2" ;;
    ftps) set -- --protocol ftps --port "$ftps" --user anonymous --passive --ca-file "$work/tls.pem" \
        --dir "$3" --connections "$2" ;;
    sftp) set -- --protocol sftp --port "$ssh" --user root --dir "$work/root/$3" --connections "$2"; password= ;;
  esac
  (cd "$work/project" && HOME="$work/home" VELMORA_FTP_PASSWORD=$password time_it "$cli" upload site.kpj --host 127.0.0.2 "$@")
}
lftp_mirror() { # PROTOCOL N FOLDER
  case $1 in
    ftp) site="-u anonymous,x -p $ftp ftp://127.0.0.2"; target=$3; settings="set ftp:prefer-epsv yes" ;;
    ftps) site="-u anonymous,x -p $ftps ftp://127.0.0.2"; target=$3
      settings="set ftp:prefer-epsv yes; set ftp:ssl-force yes; set ftp:ssl-protect-data yes; set ssl:ca-file $work/tls.pem" ;;
    sftp) site="-u root, -p $ssh sftp://127.0.0.2"; target=$work/root/$3
      settings="set sftp:connect-program 'ssh -a -x -i $work/home/.ssh/id_ed25519 -o UserKnownHostsFile=$work/home/.ssh/known_hosts'" ;;
  esac
  mkdir -p "$work/root/$3"
  # shellcheck disable=SC2086
  time_it lftp -e "$settings; set net:max-retries 1; mirror -R --parallel=$2 $work/mirror $target; quit" $site
}

echo "$pages pages ($files files), $delay ms each way"
for protocol in ${PROTOCOLS:-ftp ftps sftp}; do
  for n in ${CONNECTIONS:-1 4 8}; do
    t=$(velmora "$protocol" "$n" "v-$protocol-$n")
    echo "$protocol velmora --connections $n: $t s ($(arrived "v-$protocol-$n") files) $(head -c 200 "$work/last.err")"
    t=$(lftp_mirror "$protocol" "$n" "l-$protocol-$n")
    echo "$protocol lftp mirror -R --parallel=$n: $t s ($(arrived "l-$protocol-$n") files) $(head -c 200 "$work/last.err")"
  done
done
