#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Times the size walk of dirweigh-cli against lftp and rclone.

dirweigh-cli runs its default walk (fast: STAT listings over the control
connection, over as many connections as it chooses) and the designed walk
(--walk design, active and passive).

Generates two deterministic trees (site: ~500 directories and 5,000 files;
big: ~3,000 directories and 30,000 files, names with spaces), serves each
on 127.0.0.1 with vsftpd (anonymous; also on ::1 alone as vsftpd-ipv6, not
in the default set; and a local system user logging on
through PAM, chrooted, as hosting providers set it up), pyftpdlib, proftpd
and pure-ftpd, each with its own defaults, and runs every client on each,
alternately and several times. Prints the median wall time and client CPU
time, the ratios dirweigh-cli/peer, and checks every total against the
tree's own.

vsftpd-local's user, dwbench, is made by the benchmark (useradd, with its
home the tree being walked) and removed at the end, also when the run fails
or is stopped with Ctrl-C or SIGTERM. Every logon there costs the server a
process, a PAM password check and a chroot, so it shows whether further
connections pay for their logons.

Connection rows: "dirweigh-cli --connections N" for each N of
--connection-rows (1, 2 and 8 unless told), beside the default fast walk
("dirweigh-cli", no --connections: 4 today), on every server and in the TLS row.

The verdict, printed after each tree: per server (the TLS one too), the
default fast walk's median wall time against the best median of it and the
connection rows, "within 5% of the best" or "N% slower than the best
(--connections K)"; rows with a wrong or failed run are left out of it. On
vsftpd-local, also the default fast walk's wall time over rclone's, against
the target of at most 0.25x.

proftpd and pure-ftpd run from the copies scripts/setup unpacks into
build/ftp-servers (Debian installs only one FTP server package at a time).
As they ship, vsftpd, proftpd and pure-ftpd leave names that begin with a dot
out of a bare LIST; the generated trees hold no such names, so every client
owes the same total on every server. pure-ftpd serves a user of its own
database rather than anonymous users (it takes the anonymous root from the
system user ftp's home). That user's password is stored as a SHA-512 crypt
hash: pure-pw's own Argon2 hash costs the server a second or more at every
logon, which would make the row a measure of logons rather than walks. The
bare sequence row logs on anonymously and is left out there.

Every listing leaves a TIME_WAIT connection on loopback; thousands of them
slow later runs. So the benchmark runs in a private network namespace
(unshare -n) with net.ipv4.tcp_max_tw_buckets lowered, and a mount
namespace of its own (unshare -m) for the SFTP row's mount. Needs root.

A last row, "bare sequence (C, blocking)", is bench/sequence_floor.c: the
designed walk's commands (CWD, TYPE A, PORT, LIST, CDUP) from a minimal C
client with blocking sockets and no event loop, the floor of that sequence's
wall and CPU time on the machine (it logs on anonymously, so it is left out
on pure-ftpd and vsftpd-local).

With TLS: the big tree is also served by vsftpd with TLS forced on the
logon and the data connections and session reuse required, with a
certificate made for the run; dirweigh-cli (certificate pinned, with its
connection rows) and lftp walk it, and the TLS walk's cost over the plain
walk is printed. (rclone is left out of that row: its data connections do
not resume the TLS session, and vsftpd refuses them.)

An SFTP row, "sshd": OpenSSH's sshd as scripts/setup unpacks it, serving
the tree over internal-sftp to the user dirweigh-sftp (made by
scripts/setup), shut in the tree by ChrootDirectory as hosts run it (the
tree is bind-mounted on a folder of /run, in the run's own mount namespace:
a chroot's folders must all be root's and written by no one else, which
/tmp is not). Every client logs on with a key made for the run and trusts
the server's key alone: dirweigh-cli; dirweigh-cli with one request on the
way at a time (DIRWEIGH_SFTP_IN_FLIGHT=1, a knob for the benchmark alone),
the floor of a walk that waits for each reply; rclone size (its sftp
backend, --checkers 8); lftp's du -sb over sftp:// (through OpenSSH's ssh).
Beside each, sshd's own CPU time for the walk: what the listening sshd,
every session process it forked and the internal-sftp processes spent,
read from /proc around each run (sshd runs under a small reaper that
collects the processes its sessions leave behind, so that none is lost).
sshd's CPU time for dirweigh-cli's walk is the floor of that walk on one
connection. The SFTP verdict sets dirweigh-cli's wall time against the
faster of rclone and lftp (target: at most 0.5x) and against that floor.

    bench/walk_bench.py [--runs N] [--trees site,big] [--tls-trees big]
        [--servers vsftpd,vsftpd-local,pyftpdlib,proftpd,pure-ftpd,sshd] [--cli PATH]
        [--baseline-cli PATH] [--connection-rows 1,2,8]

--baseline-cli times an earlier build of dirweigh-cli beside this one, in
the same run, to show what a change costs. --connection-rows none leaves the
connection rows out.
"""

import argparse
import os
import random
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.path.join(ROOT, "build", "release", "bin", "dirweigh-cli")
TW_BUCKETS = 256
DEBIAN_PYTHON = "/usr/bin/python3"
UNPACKED = os.path.join(ROOT, "build", "ftp-servers")
PROFTPD = os.path.join(UNPACKED, "usr", "sbin", "proftpd")
PURE_FTPD = os.path.join(UNPACKED, "usr", "sbin", "pure-ftpd")
PURE_PW = os.path.join(UNPACKED, "usr", "bin", "pure-pw")
SSHD = os.path.join(ROOT, "build", "ssh-server", "usr", "sbin", "sshd")
SFTP_USER = "dirweigh-sftp"
# pure-ftpd's user; the hash is that of the password (openssl passwd -6
# -salt dirweigh site-pass), which pure-ftpd checks at once.
PURE_USER, PURE_PASSWORD = "web", "site-pass"
LOCAL_USER = "dwbench"  # vsftpd's local user, with PURE_PASSWORD
PURE_HASH = "$6$dirweigh$IiuU4Nzd6mTPOz.GAgKV5efBU1TJ3baPVuo2CmGprgJIu7xA0rAhVZHG3sMBZ.HdibZUeH9XKRnsA299MTzzu0"


def use_debian_python():
    """Re-runs this script under Debian's python3, where the modules apt
    installs (pyftpdlib, OpenSSL) are found: a python3 earlier on PATH, such
    as pyenv's, has none of them."""
    if os.path.realpath(sys.executable) != os.path.realpath(DEBIAN_PYTHON):
        os.execv(DEBIAN_PYTHON, [DEBIAN_PYTHON, os.path.abspath(sys.argv[0]), *sys.argv[1:]])


def ensure_tools(servers):
    missing = [p for p, tool in (("vsftpd", "/usr/sbin/vsftpd"), ("lftp", "/usr/bin/lftp"),
                                 ("rclone", "/usr/bin/rclone"), ("python3-pyftpdlib", None))
               if (tool and not os.path.exists(tool))]
    try:
        import pyftpdlib  # noqa: F401
    except ImportError:
        missing.append("python3-pyftpdlib")
    try:
        import OpenSSL  # noqa: F401
    except ImportError:
        missing.append("python3-openssl")
    if missing:
        subprocess.run(["apt-get", "update"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["apt-get", "install", "-y", *sorted(set(missing))], check=True, stdout=subprocess.DEVNULL)
    unpacked = [PROFTPD] if "proftpd" in servers else []
    unpacked += [PURE_FTPD, PURE_PW] if "pure-ftpd" in servers else []
    unpacked += [SSHD] if "sshd" in servers else []
    if not all(os.path.exists(tool) for tool in unpacked):
        subprocess.run([os.path.join(ROOT, "scripts", "setup")], check=True, stdout=subprocess.DEVNULL)
    if not os.path.exists(CLI):
        subprocess.run(["cmake", "-S", ROOT, "-B", os.path.join(ROOT, "build", "release"), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DDIRWEIGH_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", os.path.join(ROOT, "build", "release")], check=True,
                       stdout=subprocess.DEVNULL)


def enter_private_network():
    """Re-runs this script in a new network namespace with loopback up, and
    a mount namespace of its own, where the mounts the SFTP row makes end
    with the run however it ends."""
    if os.environ.get("DIRWEIGH_BENCH_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        with open("/proc/sys/net/ipv4/tcp_max_tw_buckets", "w") as f:
            f.write(str(TW_BUCKETS))
        return
    env = dict(os.environ, DIRWEIGH_BENCH_NETNS="1")
    os.execvpe("unshare", ["unshare", "-n", "-m", sys.executable, *sys.argv], env)


def make_tree(root, directories, files, seed):
    """A tree of `directories` directories (the root included) and `files`
    files, three levels deep, some names with spaces; sizes are sparse."""
    rng = random.Random(seed)
    dirs = [""]
    while len(dirs) < directories:
        parent = rng.choice(dirs[: max(1, len(dirs))])
        if parent.count("/") >= 3:
            continue
        name = ("dir %d" if rng.random() < 0.3 else "dir_%d") % len(dirs)
        dirs.append(parent + "/" + name if parent else name)
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    total = 0
    # No name begins with a dot: servers as they ship hide those from LIST.
    for i in range(files):
        d = dirs[i % len(dirs)]
        name = ("page %d.html" if i % 7 == 0 else "page_%d.html") % i
        size = rng.randint(0, 200000)
        with open(os.path.join(root, d, name), "wb") as f:
            f.truncate(size)
        total += size
    return total, files, len(dirs)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, timeout=10, host="127.0.0.1"):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            with socket.create_connection((host, port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("server on port %d did not start" % port)


def start_vsftpd(tree, workdir, extra=(), ipv6=False):
    port = free_port()
    conf = os.path.join(workdir, "vsftpd.conf")
    listen = ["listen=NO", "listen_ipv6=YES", "listen_address6=::1"] if ipv6 else \
        ["listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1"]
    with open(conf, "w") as f:
        f.write("\n".join([
            *listen, "listen_port=%d" % port,
            "background=NO", "anonymous_enable=YES", "no_anon_password=YES", "anon_root=" + tree,
            "local_enable=NO", "write_enable=NO", "dirlist_enable=YES", "port_enable=YES",
            "connect_from_port_20=NO", "pasv_enable=YES", "pasv_address=127.0.0.1",
            "seccomp_sandbox=NO", "secure_chroot_dir=/var/run/vsftpd/empty", "max_clients=0",
            "max_per_ip=0", "xferlog_enable=NO", "use_localtime=NO", "hide_ids=YES", *extra, ""]))
    os.makedirs("/var/run/vsftpd/empty", exist_ok=True)
    proc = subprocess.Popen(["/usr/sbin/vsftpd", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(port, host="::1" if ipv6 else "127.0.0.1")
    return proc, port


def start_vsftpd_local(tree, workdir):
    """vsftpd as hosting providers set it up: a local system user (made here,
    removed at the end) logging on through PAM and shut in the tree by
    chroot, so that every logon costs the server a process, a password hash
    and a chroot."""
    # Made afresh for each tree: the user's home is the tree it is shut in,
    # and one left by an interrupted run would point at a tree long gone.
    remove_local_user()
    # PAM's pam_shells wants a shell listed in /etc/shells.
    subprocess.run(["useradd", "--no-create-home", "--home-dir", tree, "--shell", "/bin/sh", LOCAL_USER], check=True)
    subprocess.run(["chpasswd"], input="%s:%s\n" % (LOCAL_USER, PURE_PASSWORD), text=True, check=True)
    return start_vsftpd(tree, workdir, [
        "anonymous_enable=NO", "local_enable=YES", "chroot_local_user=YES", "pam_service_name=vsftpd"])


def local_user_exists():
    return subprocess.run(["id", LOCAL_USER], capture_output=True).returncode == 0


def remove_local_user():
    """userdel refuses while a process of the user lives, and vsftpd's session
    processes may still be ending just after their server stopped; so it is
    tried again for a few seconds."""
    for _ in range(50):
        if not local_user_exists():
            return
        if subprocess.run(["userdel", LOCAL_USER], capture_output=True).returncode == 0:
            return
        time.sleep(0.1)
    print("  ! the user %s is still there; remove it with: userdel %s" % (LOCAL_USER, LOCAL_USER))


def start_proftpd(tree, workdir):
    """proftpd with its own defaults (no ListOptions, no TLS module), anonymous."""
    port = free_port()
    conf = os.path.join(workdir, "proftpd.conf")
    with open(conf, "w") as f:
        f.write("\n".join([
            "ServerType standalone", "Port %d" % port, "DefaultAddress 127.0.0.1", "SocketBindTight on",
            "UseIPv6 off", "User nobody", "Group nogroup", "PidFile " + os.path.join(workdir, "proftpd.pid"),
            "ScoreboardFile " + os.path.join(workdir, "proftpd.scoreboard"), "DelayTable none", "WtmpLog off",
            "UseReverseDNS off", "RequireValidShell off", "AuthOrder mod_auth_unix.c",
            "<Anonymous %s>" % tree, "  User ftp", "  Group nogroup", "  UserAlias anonymous ftp", "</Anonymous>",
            ""]))
    # -n: in the foreground, where SIGTERM stops it.
    proc = subprocess.Popen([PROFTPD, "-n", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(port)
    return proc, port


def start_pure_ftpd(tree, workdir):
    """pure-ftpd with its own defaults (AUTH TLS offered, then refused: no
    certificate), serving the tree to the user PURE_USER."""
    import pwd
    ftp = pwd.getpwnam("ftp")
    users, database = os.path.join(workdir, "pureftpd.passwd"), os.path.join(workdir, "pureftpd.pdb")
    with open(users, "w") as f:
        # name:hash:uid:gid:gecos:home ("/./": the root it is shut in), limits empty.
        f.write("%s:%s:%d:%d::%s/./::::::::::::\n" % (PURE_USER, PURE_HASH, ftp.pw_uid, ftp.pw_gid, tree))
    subprocess.run([PURE_PW, "mkdb", database, "-f", users], check=True, stdout=subprocess.DEVNULL)
    port = free_port()
    # -E: no anonymous logons; -A: users shut in their home; -H: no name lookups.
    proc = subprocess.Popen([PURE_FTPD, "-l", "puredb:" + database, "-S", "127.0.0.1,%d" % port, "-E", "-A", "-H"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(port)
    return proc, port


def start_sshd(tree, workdir):
    """sshd serving SFTP alone to SFTP_USER, who logs on with a key made
    here, shut in the tree by ChrootDirectory as hosts run internal-sftp.
    A chroot's every folder from "/" down must be root's and written by no
    one else, which /tmp is not: the tree is bind-mounted on a folder of
    /run, in the run's own mount namespace (see enter_private_network), and
    unmounted when the server stops (SERVER_CLEANUPS). The clients' ~/.ssh
    (key and known_hosts) is workdir/ssh-home."""
    keys = os.path.join(workdir, "ssh")
    home = os.path.join(workdir, "ssh-home")
    os.makedirs(keys, exist_ok=True)
    os.makedirs(os.path.join(home, ".ssh"), exist_ok=True)
    os.chmod(keys, 0o755)  # sshd reads the authorized keys as the user
    for key in ("host_key", "client_key"):
        if not os.path.exists(os.path.join(keys, key)):
            subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", os.path.join(keys, key)], check=True)
    shutil.copy(os.path.join(keys, "client_key.pub"), os.path.join(keys, "authorized_keys"))
    os.chmod(os.path.join(keys, "authorized_keys"), 0o644)
    shutil.copy(os.path.join(keys, "client_key"), os.path.join(home, ".ssh", "id_ed25519"))
    port = free_port()
    with open(os.path.join(keys, "host_key.pub")) as f:
        host_key = " ".join(f.read().split()[:2])
    with open(os.path.join(home, ".ssh", "known_hosts"), "w") as f:
        f.write("[127.0.0.1]:%d %s\n" % (port, host_key))
    jail = chroot_of(tree)
    conf = os.path.join(keys, "sshd_config")
    with open(conf, "w") as f:
        f.write("\n".join([
            "ListenAddress 127.0.0.1", "Port %d" % port, "HostKey " + os.path.join(keys, "host_key"),
            "PidFile none", "UsePAM no", "PasswordAuthentication no",
            "AuthorizedKeysFile " + os.path.join(keys, "authorized_keys"), "StrictModes no",
            "AllowUsers " + SFTP_USER, "Subsystem sftp internal-sftp", "ForceCommand internal-sftp",
            "ChrootDirectory " + jail, ""]))
    os.makedirs("/run/sshd", exist_ok=True)
    proc = subprocess.Popen([DEBIAN_PYTHON, "-c", REAPER, SSHD, "-D", "-e", "-f", conf],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(port)
    return proc, port


# Runs a server under it as the reaper of every process the server leaves
# behind. sshd's session processes do not all wait for their children (the
# one running internal-sftp may outlive its parent by a moment): orphaned,
# they would be reaped by init, and their CPU time counted nowhere the
# benchmark can read. Reaped here, it comes into this process's children's
# time. SIGTERM is passed on to the server.
REAPER = """
import ctypes, os, signal, sys
ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
server = os.fork()
if server == 0:
    os.execv(sys.argv[1], sys.argv[1:])
signal.signal(signal.SIGTERM, lambda signum, frame: os.kill(server, signal.SIGTERM))
while True:
    try:
        os.wait()
    except InterruptedError:
        pass
    except ChildProcessError:
        break
"""


def chroot_of(tree):
    """A folder of /run, root's, with the tree bind-mounted on it."""
    jail = tempfile.mkdtemp(prefix="dirweigh-bench-sshd-", dir="/run")
    os.chmod(jail, 0o755)
    subprocess.run(["mount", "--bind", tree, jail], check=True)

    def unmount():
        subprocess.run(["umount", jail], check=False)
        os.rmdir(jail)
    SERVER_CLEANUPS.append(unmount)
    return jail


def children_of(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(child) for child in f.read().split()]
    except OSError:
        return []


def server_cpu(pid):
    """The CPU seconds (user + system) of the REAPER `pid`, of the server
    under it, and of every process either has waited for: with no session
    running, all the server has spent. None when it cannot be read."""
    seconds = 0
    for process in [pid, *children_of(pid)]:
        try:
            with open("/proc/%d/stat" % process) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            return None
        # utime, stime, cutime, cstime: fields 14 to 17, the 12th to 15th after the name.
        seconds += sum(int(value) for value in fields[11:15]) / os.sysconf("SC_CLK_TCK")
    return seconds


def wait_for_sessions_to_end(pid, timeout=10):
    """Until the REAPER `pid` has the server alone under it, and the server
    no child (sshd's sessions end a moment after their client), so that
    their CPU time has been counted."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        servers = children_of(pid)
        if len(servers) <= 1 and not any(children_of(server) for server in servers):
            return
        time.sleep(0.01)


def sftp_clients(port, workdir):
    """The SFTP row's clients, all logging on with the key start_sshd made
    and trusting its host key alone: dirweigh-cli (its home the one
    start_sshd made), dirweigh-cli with one request on the way at a time
    (the floor of a walk that waits for each reply), rclone with 8 checkers
    and lftp through OpenSSH's ssh."""
    home = os.path.join(workdir, "ssh-home")
    key, known_hosts = os.path.join(home, ".ssh", "id_ed25519"), os.path.join(home, ".ssh", "known_hosts")
    url = "sftp://%s@127.0.0.1:%d/" % (SFTP_USER, port)
    env = ["env", "HOME=" + home, "XDG_STATE_HOME=" + os.path.join(home, "state"),
           "XDG_DATA_HOME=" + os.path.join(home, "data")]
    cli = env + [CLI, "--bytes", "--no-default-excludes"]
    # A bench-only knob: the most requests the walk has on the way.
    one_at_a_time = env + ["DIRWEIGH_SFTP_IN_FLIGHT=1"] + cli[len(env):]
    rclone = ["rclone", "size", ":sftp:/", "--sftp-host", "127.0.0.1", "--sftp-port", str(port),
              "--sftp-user", SFTP_USER, "--sftp-key-file", key, "--sftp-known-hosts-file", known_hosts,
              "--sftp-shell-type", "none", "--sftp-disable-hashcheck", "--checkers", "8", "--json"]
    ssh = "ssh -a -x -F /dev/null -o BatchMode=yes -o IdentitiesOnly=yes -i %s -o UserKnownHostsFile=%s" % (
        key, known_hosts)
    lftp = ["lftp", "-c", 'set cache:enable no; set sftp:connect-program "%s"; '
                          'open -u %s, sftp://127.0.0.1:%d; du -sb /' % (ssh, SFTP_USER, port)]
    import json
    by_first_word = lambda out: int(out.split()[0])  # noqa: E731
    rows = {"dirweigh-cli": (cli + [url], by_first_word)}
    if BASELINE_CLI:
        rows["dirweigh-cli (baseline build)"] = (env + [BASELINE_CLI] + cli[len(env) + 1:] + [url], by_first_word)
    rows.update({
        "dirweigh-cli, one request at a time": (one_at_a_time + [url], by_first_word),
        "rclone --checkers 8": (rclone, lambda out: json.loads(out)["bytes"]),
        "lftp": (lftp, by_first_word),
    })
    return rows


def make_certificate(workdir):
    """A self-signed certificate for 127.0.0.1: (cert file, key file, SHA-256 fingerprint)."""
    from OpenSSL import crypto
    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(1)
    cert.gmtime_adj_notBefore(-60)
    cert.gmtime_adj_notAfter(24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.sign(key, "sha256")
    cert_file, key_file = os.path.join(workdir, "cert.pem"), os.path.join(workdir, "key.pem")
    with open(cert_file, "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    with open(key_file, "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
    return cert_file, key_file, "SHA256:" + cert.digest("sha256").decode()


def start_vsftpd_tls(tree, workdir, certificate):
    cert_file, key_file, _ = certificate
    return start_vsftpd(tree, workdir, [
        "ssl_enable=YES", "allow_anon_ssl=YES", "force_anon_logins_ssl=YES", "force_anon_data_ssl=YES",
        "require_ssl_reuse=YES", "rsa_cert_file=" + cert_file, "rsa_private_key_file=" + key_file])


def start_pyftpdlib(tree):
    port = free_port()
    script = (
        "import logging, sys\n"
        "from pyftpdlib.authorizers import DummyAuthorizer\n"
        "from pyftpdlib.handlers import FTPHandler\n"
        "from pyftpdlib.servers import FTPServer\n"
        "logging.basicConfig(level=logging.CRITICAL)\n"
        "a = DummyAuthorizer(); a.add_anonymous(sys.argv[1])\n"
        "h = FTPHandler; h.authorizer = a\n"
        "FTPServer(('127.0.0.1', int(sys.argv[2])), h).serve_forever()\n")
    proc = subprocess.Popen([DEBIAN_PYTHON, "-c", script, tree, str(port)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for_port(port)
    return proc, port


def build_sequence_floor(workdir):
    """bench/sequence_floor.c, the designed walk's commands with nothing
    else around them; None without a C compiler."""
    program = os.path.join(workdir, "sequence_floor")
    try:
        subprocess.run(["cc", "-O2", "-o", program, os.path.join(ROOT, "bench", "sequence_floor.c")], check=True)
    except (OSError, subprocess.CalledProcessError):
        return None
    return program


SEQUENCE_FLOOR = None  # set in main()
BASELINE_CLI = None  # --baseline-cli: another dirweigh-cli (an earlier build) in the same run
CONNECTION_ROWS = []  # --connection-rows: dirweigh-cli --connections N for each N
HISTORY_ROW = False  # --history-row: dirweigh-cli --no-history too, to time what keeping the walk costs
HISTORY_ROWS = ("dirweigh-cli", "dirweigh-cli --no-history")
SERVER_CLEANUPS = []  # what to undo once the server running stops, besides stopping it


def connection_rows(cli, url):
    """dirweigh-cli --connections N for each of CONNECTION_ROWS, `cli` being
    the command before the URL."""
    return {"dirweigh-cli --connections %d" % n: (cli + ["--connections", str(n), url],
                                                  lambda out: int(out.split()[0]))
            for n in CONNECTION_ROWS}


def clients(port, user="anonymous", password="anonymous@", password_file=None, host="127.0.0.1"):
    """name -> (command, parser of the byte total from its output). A user
    other than anonymous logs on with `password`, which dirweigh-cli reads
    from `password_file`."""
    in_url = "[%s]" % host if ":" in host else host
    url = "ftp://%s:%d/" % (in_url, port)
    cli = [CLI, "--bytes", "--no-default-excludes"]
    if user != "anonymous":
        url = "ftp://%s@%s:%d/" % (user, in_url, port)
        cli += ["--password-file", password_file]
    obscured = subprocess.run(["rclone", "obscure", password], capture_output=True, text=True).stdout.strip()
    rclone = ["rclone", "size", ":ftp:/", "--ftp-host", host, "--ftp-port", str(port),
              "--ftp-user", user, "--ftp-pass", obscured, "--json"]
    import json
    floor = {}
    if SEQUENCE_FLOOR and user == "anonymous" and host == "127.0.0.1":
        floor["bare sequence (C, blocking)"] = ([SEQUENCE_FLOOR, str(port)], lambda out: int(out.split()[0]))
    extra = {}
    if BASELINE_CLI:
        extra["dirweigh-cli (baseline build)"] = ([BASELINE_CLI] + cli[1:] + [url], lambda out: int(out.split()[0]))
    extra.update(connection_rows(cli, url))
    if HISTORY_ROW:
        extra["dirweigh-cli --no-history"] = (cli + ["--no-history", url], lambda out: int(out.split()[0]))
    rows = {
        "dirweigh-cli": (cli + [url], lambda out: int(out.split()[0])),
        **extra,
        "dirweigh-cli --walk design": (cli + ["--walk", "design", url], lambda out: int(out.split()[0])),
        "dirweigh-cli --walk design --active": (cli + ["--walk", "design", "--active", url],
                                                 lambda out: int(out.split()[0])),
        "lftp (active)": (["lftp", "-c", "set cache:enable no; set ftp:passive-mode off; "
                                         "open -u %s,%s ftp://%s:%d; du -sb /" % (user, password, in_url, port)],
                          lambda out: int(out.split()[0])),
        "rclone --checkers 1": (rclone + ["--checkers", "1"], lambda out: json.loads(out)["bytes"]),
        "rclone": (rclone, lambda out: json.loads(out)["bytes"]),
        **floor,
    }
    # Over ::1 the row to compare with is the same client on 127.0.0.1;
    # the peers are left out.
    return rows if ":" not in host else {name: c for name, c in rows.items() if name.startswith("dirweigh-cli")}


def tls_clients(port, fingerprint):
    """The clients of the TLS row: dirweigh-cli with the certificate pinned, lftp."""
    url = "ftp://127.0.0.1:%d/" % port
    pinned = ["--tls", "require", "--tls-fingerprint", fingerprint]
    lftp_tls = ("set cache:enable no; set ftp:ssl-force true; set ftp:ssl-protect-data true; "
                "set ssl:verify-certificate no; ")
    cli = [CLI, "--bytes", "--no-default-excludes", *pinned]
    return {
        "dirweigh-cli": (cli + [url], lambda out: int(out.split()[0])),
        **connection_rows(cli, url),
        "dirweigh-cli --walk design": (cli + ["--walk", "design", url], lambda out: int(out.split()[0])),
        "lftp (active)": (["lftp", "-c", lftp_tls + "set ftp:passive-mode off; "
                                                    "open -u anonymous,anonymous@ ftp://127.0.0.1:%d; du -sb /" % port],
                          lambda out: int(out.split()[0])),
    }


def run_measured(command):
    """Wall time, client CPU time (user + system of the child) and output."""
    before = os.times()
    start = time.monotonic()
    result = subprocess.run(command, capture_output=True, text=True, timeout=900)
    wall = time.monotonic() - start
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return wall, cpu, result


def in_turn(commands, round_number):
    """The clients of one round, the first of them another each round: none
    always runs just after the same one (a slow walk that leaves the server
    busy, or itself warming the caches)."""
    items = list(commands.items())
    shift = round_number % len(items)
    return items[shift:] + items[:shift]


def measure(commands, runs, truth, server_name, server_pid=None):
    """Runs every client `runs` times, alternately: {client: (walls, cpus,
    server cpus)}, and {client: count of wrong runs}. With `server_pid`,
    the server's CPU time for each run too (see server_cpu); else its
    list stays empty."""
    table = {name: ([], [], []) for name in commands}
    wrong = {}
    for round_number in range(runs):
        for name, (command, parse) in in_turn(commands, round_number):
            server_before = server_cpu(server_pid) if server_pid else None
            wall, cpu, result = run_measured(command)
            if server_before is not None:
                wait_for_sessions_to_end(server_pid)
                table[name][2].append(server_cpu(server_pid) - server_before)
            try:
                total = parse(result.stdout)
            except (ValueError, IndexError, KeyError):
                total = None
            if result.returncode != 0 or total != truth:
                wrong[name] = wrong.get(name, 0) + 1
                print("  ! %s on %s: exit %d, total %s, expected %d: %s" % (
                    name, server_name, result.returncode, total, truth, result.stderr.strip()[:200]))
            table[name][0].append(wall)
            table[name][1].append(cpu)
    return table, wrong


def print_table(server_name, table, runs):
    """One line per client; where the server's CPU time was measured, a
    column of it (its part of the walk, which no client can go below on
    one connection)."""
    with_server = any(servers for (_, _, servers) in table.values())
    print("  %s (medians of %d runs)" % (server_name, runs))
    print("    %-36s %9s %9s %14s %14s %12s%s" % ("client", "wall s", "CPU s", "dirweigh/wall", "dirweigh/CPU",
                                                "slowest/fastest", " %13s" % "server CPU s" if with_server else ""))
    ours = statistics.median(table["dirweigh-cli"][0]), statistics.median(table["dirweigh-cli"][1])
    for name, (walls, cpus, servers) in table.items():
        wall, cpu = statistics.median(walls), statistics.median(cpus)
        server = " %13.3f" % statistics.median(servers) if servers else ""
        print("    %-36s %9.3f %9.3f %14.2f %14.2f %12.2f%s" % (
            name, wall, cpu, ours[0] / wall, ours[1] / cpu if cpu else float("nan"), max(walls) / min(walls), server))
    print_history_cost(table)


def print_history_cost(table):
    """What keeping the walk costs, from the two rows of one round: the
    median of the rounds' differences, steadier on a busy machine than the
    difference of two medians."""
    without = table.get("dirweigh-cli --no-history")
    if not without:
        return
    differences = [kept - not_kept for kept, not_kept in zip(table["dirweigh-cli"][0], without[0])]
    cost = statistics.median(differences)
    # A walk's time varies by more than what keeping it costs: the interval
    # says how far the median may be trusted (95 %, by resampling).
    rng = random.Random(1)
    medians = sorted(statistics.median(rng.choices(differences, k=len(differences))) for _ in range(2000))
    base = statistics.median(without[0])
    print("    keeping the walk in the history: %+.1f ms a walk (median of %d rounds' differences; 95 %% interval"
          " %+.1f..%+.1f), %+.1f %% of --no-history's median (%+.1f..%+.1f %%)" % (
              1000 * cost, len(differences), 1000 * medians[50], 1000 * medians[1949], 100 * cost / base,
              100 * medians[50] / base, 100 * medians[1949] / base))


def print_tls_cost(medians):
    """Each client's TLS walk over its plain walk of the same tree on vsftpd."""
    rows = [name for (server, name) in medians if server == "vsftpd TLS" and ("vsftpd", name) in medians]
    if not rows:
        return
    print("  TLS cost on vsftpd (TLS medians over plain medians)")
    for name in rows:
        (tls_wall, tls_cpu), (wall, cpu) = medians[("vsftpd TLS", name)], medians[("vsftpd", name)]
        print("    %-36s wall %.2fx   CPU %.2fx" % (name, tls_wall / wall, tls_cpu / cpu if cpu else float("nan")))


WITHIN_BEST = 0.05  # the default fast walk is right where it is this close to the best connection row
RCLONE_TARGET = 0.25  # dirweigh-cli's wall time over rclone's on vsftpd-local, at most


def connection_verdict(medians, failed, server):
    """The default fast walk's wall median against the best of it and the
    --connections rows; rows with a wrong or failed run are left out, their
    time not being that of a walk."""
    if (server, "dirweigh-cli") in failed:
        return "no verdict: the default walk failed"
    walls = {"default": medians[(server, "dirweigh-cli")][0]}
    for n in CONNECTION_ROWS:
        row = (server, "dirweigh-cli --connections %d" % n)
        if row in medians and row not in failed:
            walls["--connections %d" % n] = medians[row][0]
    best = min(walls, key=walls.get)
    slower = walls["default"] / walls[best] - 1
    if slower <= WITHIN_BEST:
        return "within %d%% of the best" % round(WITHIN_BEST * 100)
    return "%d%% slower than the best (%s)" % (round(slower * 100), best)


def print_verdict(servers, medians, failed):
    """Per server, whether the default number of connections is the right one,
    and on vsftpd-local (where every logon is dear) how it stands against rclone.
    Nothing where there is nothing to weigh (the SFTP row alone)."""
    lines = []
    for server in servers:
        # The SFTP walk has one connection and no rows to weigh it against.
        if CONNECTION_ROWS and (server, "dirweigh-cli") in medians and server != "sshd":
            lines.append("    %-36s %s" % (server, connection_verdict(medians, failed, server)))
    ours, rclone = ("vsftpd-local", "dirweigh-cli"), ("vsftpd-local", "rclone")
    if ours in medians and rclone in medians and not {ours, rclone} & failed:
        ratio = medians[ours][0] / medians[rclone][0]
        lines.append("    %-36s default/rclone %.2fx (target at most %.2fx): %s" % (
            "vsftpd-local against rclone", ratio, RCLONE_TARGET, "met" if ratio <= RCLONE_TARGET else "missed"))
    if not lines:
        return
    against = ", ".join(str(n) for n in CONNECTION_ROWS)
    print("  Verdict (wall medians)" + (": the default fast walk against the best of it and --connections %s"
                                      % against if CONNECTION_ROWS else ""))
    print("\n".join(lines))


SFTP_TARGET = 0.5  # dirweigh-cli's wall time over the faster of rclone and lftp on sshd, at most
WITHIN_FLOOR = 0.2  # where that lies below sshd's own CPU time for the walk: this close to it


def print_sftp_verdict(medians, server_medians, failed):
    """On sshd: the default walk's wall time over the faster peer's, against
    SFTP_TARGET; and against sshd's own CPU time for that walk, the floor of
    a walk over one connection, where the target lies below it."""
    ours = ("sshd", "dirweigh-cli")
    if ours not in medians or ours in failed:
        return
    peers = [("sshd", name) for name in ("rclone --checkers 8", "lftp") if ("sshd", name) in medians]
    peers = [peer for peer in peers if peer not in failed]
    wall, floor = medians[ours][0], server_medians.get(ours)
    print("  SFTP verdict (wall medians)")
    target = None
    if peers:
        fastest = min(peers, key=lambda peer: medians[peer][0])
        target = SFTP_TARGET * medians[fastest][0]
        print("    %-36s %.2fx %s (target at most %.2fx): %s" % (
            "dirweigh-cli against the faster peer", wall / medians[fastest][0], fastest[1], SFTP_TARGET,
            "met" if wall <= target else "missed"))
    if not floor:
        return
    print("    %-36s %.3f s against sshd's CPU for that walk, %.3f s: %.2fx the floor" % (
        "dirweigh-cli against sshd's floor", wall, floor, wall / floor))
    if target is not None and target < floor:
        print("    %-36s the target lies below the floor; within %d%% of the floor: %s" % (
            "", round(WITHIN_FLOOR * 100), "met" if wall <= (1 + WITHIN_FLOOR) * floor else "missed"))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--history-row", action="store_true",
                        help="also time dirweigh-cli --no-history: what keeping the walk in the history costs")
    parser.add_argument("--trees", default="site,big")
    parser.add_argument("--tls-trees", default="big", help="trees also walked over TLS (vsftpd); none: no TLS row")
    parser.add_argument("--servers", default="vsftpd,vsftpd-local,pyftpdlib,proftpd,pure-ftpd,sshd")
    parser.add_argument("--cli", help="the dirweigh-cli to time (default: a Release build in build/release)")
    parser.add_argument("--baseline-cli", help="another dirweigh-cli (an earlier build) timed in the same run")
    parser.add_argument("--only-history", action="store_true",
                        help="time dirweigh-cli with and without --no-history alone, in turn: with many --runs, "
                             "what keeping the walk costs")
    parser.add_argument("--only-dirweigh", action="store_true",
                        help="time dirweigh-cli's rows only (lftp over TLS alone takes minutes a run)")
    parser.add_argument("--connection-rows", default="1,2,8",
                        help="rows for dirweigh-cli --connections N (default 1,2,8); none: no such rows")
    args = parser.parse_args()
    use_debian_python()
    global CLI, BASELINE_CLI, CONNECTION_ROWS, HISTORY_ROW
    if args.cli:
        CLI = os.path.abspath(args.cli)
    if args.baseline_cli:
        BASELINE_CLI = os.path.abspath(args.baseline_cli)
    CONNECTION_ROWS = [int(n) for n in args.connection_rows.split(",") if n not in ("", "none")]
    HISTORY_ROW = args.history_row or args.only_history
    ensure_tools(args.servers.split(","))
    enter_private_network()
    # SIGTERM ends the run through the cleanup below (servers stopped, the
    # local user removed) rather than at once.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    print("Private network and mount namespaces (unshare -n -m), loopback only, net.ipv4.tcp_max_tw_buckets=%d."
          % TW_BUCKETS)

    shapes = {"site": (500, 5000, 1), "big": (3000, 30000, 2)}
    workdir = tempfile.mkdtemp(prefix="dirweigh-bench-")
    # Every walk keeps its history (and lftp its own), a new site each run,
    # as the server's port changes: in the run's own folder, gone with it,
    # not in the home of whoever ran the bench.
    os.environ["XDG_DATA_HOME"] = os.path.join(workdir, "data")
    global SEQUENCE_FLOOR
    SEQUENCE_FLOOR = build_sequence_floor(workdir)
    failures = 0
    try:
        for tree_name in args.trees.split(","):
            dirs, files, seed = shapes[tree_name]
            tree = os.path.join(workdir, tree_name)
            os.makedirs(tree)
            os.chmod(workdir, 0o755)
            truth, nfiles, ndirs = make_tree(tree, dirs, files, seed)
            print("\nTree %s: %d directories, %d files, %d bytes" % (tree_name, ndirs, nfiles, truth))
            password_file = os.path.join(workdir, "password")
            with open(password_file, "w") as f:
                f.write(PURE_PASSWORD + "\n")
            servers = [("vsftpd", lambda: start_vsftpd(tree, workdir), clients),
                       ("vsftpd-ipv6", lambda: start_vsftpd(tree, workdir, ipv6=True),
                        lambda port: clients(port, host="::1")),
                       ("vsftpd-local", lambda: start_vsftpd_local(tree, workdir),
                        lambda port: clients(port, LOCAL_USER, PURE_PASSWORD, password_file)),
                       ("pyftpdlib", lambda: start_pyftpdlib(tree), clients),
                       ("proftpd", lambda: start_proftpd(tree, workdir), clients),
                       ("pure-ftpd", lambda: start_pure_ftpd(tree, workdir),
                        lambda port: clients(port, PURE_USER, PURE_PASSWORD, password_file)),
                       ("sshd", lambda: start_sshd(tree, workdir), lambda port: sftp_clients(port, workdir))]
            servers = [server for server in servers if server[0] in args.servers.split(",")]
            if tree_name in args.tls_trees.split(",") and "vsftpd" in args.servers.split(","):
                certificate = make_certificate(workdir)
                servers.append(("vsftpd TLS", lambda: start_vsftpd_tls(tree, workdir, certificate),
                                lambda port: tls_clients(port, certificate[2])))
            medians, failed, server_medians = {}, set(), {}
            for server_name, start, client_set in servers:
                proc, port = start()
                try:
                    commands = client_set(port)
                    if args.only_dirweigh:
                        commands = {name: c for name, c in commands.items() if name.startswith("dirweigh-cli")}
                    if args.only_history:
                        commands = {name: c for name, c in commands.items() if name in HISTORY_ROWS}
                    table, wrong = measure(commands, args.runs, truth, server_name,
                                           proc.pid if server_name == "sshd" else None)
                    failures += sum(wrong.values())
                    failed.update((server_name, name) for name in wrong)
                    print_table(server_name, table, args.runs)
                    for name, (walls, cpus, server_cpus) in table.items():
                        medians[(server_name, name)] = statistics.median(walls), statistics.median(cpus)
                        if server_cpus:
                            server_medians[(server_name, name)] = statistics.median(server_cpus)
                finally:
                    proc.send_signal(signal.SIGTERM)
                    proc.wait(timeout=10)
                    while SERVER_CLEANUPS:
                        SERVER_CLEANUPS.pop()()
            print_tls_cost(medians)
            print_verdict([server[0] for server in servers], medians, failed)
            print_sftp_verdict(medians, server_medians, failed)
            shutil.rmtree(tree)
    finally:
        remove_local_user()
        shutil.rmtree(workdir, ignore_errors=True)
    print("\nTotals: %s" % ("all equal to the trees' own" if failures == 0 else "%d runs wrong or failed" % failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
