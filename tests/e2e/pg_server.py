"""A real PostgreSQL 15 server for the tests and benchmarks: Debian's binaries, a cluster in a
temporary folder, owned and run by an unprivileged user (initdb refuses root), on a free
loopback port, with its socket in the same folder. TCP logins take a password
(scram-sha-256); the socket trusts, for the tests' own psql."""
import os
import shutil
import socket
import subprocess
import tempfile

BIN = "/usr/lib/postgresql/15/bin"
USER, PASSWORD = "tq8", "tq8-secret"
TABLE_SQL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                         "update-records.sql")


def missing():
    """Why no server can be started here, or None."""
    for name in ("initdb", "pg_ctl", "postgres", "psql"):
        if not os.access(os.path.join(BIN, name), os.X_OK):
            return f"PostgreSQL 15 is not installed: no {BIN}/{name} (scripts/setup.sh installs it)"
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class PgServer:
    def __init__(self, durable=False):
        self.root = tempfile.mkdtemp(prefix="tq8-pg-")
        os.chmod(self.root, 0o755)
        self.data = os.path.join(self.root, "data")
        self.port = free_port()
        self.durable = durable
        pwfile = os.path.join(self.root, "pw")
        with open(pwfile, "w") as f:
            f.write(PASSWORD + "\n")
        if os.geteuid() == 0:
            shutil.chown(self.root, "nobody", "nogroup")
            shutil.chown(pwfile, "nobody", "nogroup")
        self._owner([f"{BIN}/initdb", "-D", self.data, "-U", USER, f"--pwfile={pwfile}",
                     "--auth-host=scram-sha-256", "--auth-local=trust", "-N", "-E", "UTF8",
                     "--locale=C"])
        self.pgpass = os.path.join(self.root, "pgpass")
        self.write_pgpass(PASSWORD)
        self.start()

    def _owner(self, args):
        """Runs a server program as the cluster's owner."""
        if os.geteuid() == 0:
            args = ["runuser", "-u", "nobody", "--", *args]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       cwd=self.root)

    def start(self):
        options = f"-p {self.port} -k {self.root} -c listen_addresses=127.0.0.1"
        if not self.durable:
            options += " -c fsync=off -c synchronous_commit=off"
        self._owner([f"{BIN}/pg_ctl", "-D", self.data, "-l", os.path.join(self.root, "log"),
                     "-o", options, "-w", "start"])

    def stop(self, mode="fast"):
        self._owner([f"{BIN}/pg_ctl", "-D", self.data, "-m", mode, "-w", "stop"])

    def remove(self):
        try:
            self.stop("immediate")
        except subprocess.CalledProcessError:
            pass
        shutil.rmtree(self.root, ignore_errors=True)

    def write_pgpass(self, password):
        with open(self.pgpass, "w") as f:
            f.write(f"127.0.0.1:{self.port}:*:{USER}:{password}\n")
        os.chmod(self.pgpass, 0o600)

    def url(self, database):
        return f"postgresql://{USER}@127.0.0.1:{self.port}/{database}"

    def env(self, env):
        """env with this server's password file, as a station's ~/.pgpass would be."""
        return dict(env, PGPASSFILE=self.pgpass)

    def psql(self, database, sql):
        """The rows of sql as lists of text fields."""
        out = subprocess.run([f"{BIN}/psql", "-h", self.root, "-p", str(self.port), "-U", USER,
                              "-d", database, "-XAtq", "-F", "\t", "-v", "ON_ERROR_STOP=1",
                              "-c", sql], check=True, capture_output=True, text=True).stdout
        return [line.split("\t") for line in out.splitlines()]

    def database(self, name, table=True):
        """A new database, with the table of docs/update-records.sql unless told not to."""
        self.psql("postgres", f"CREATE DATABASE {name}")
        if table:
            with open(TABLE_SQL) as f:
                self.psql(name, f.read())
        return self.url(name)
