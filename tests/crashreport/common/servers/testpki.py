"""Throwaway certificates for the TLS test servers, made with the openssl command.

make(folder, kind, name, ca_folder) writes into folder server.pem and server.key, the server's
certificate and key, issued by the test CA of ca_folder (ca.pem, ca.key and ca.der, the one that
the test trusts; made there when missing, else used again, since a process reads the system's
trusted roots only once). The kind picks what is wrong with the certificate:
  trusted    issued by the test CA for `name`, valid now
  untrusted  the same, issued by a second CA that nobody trusts
  expired    issued by the test CA for `name`, expired yesterday
  wrongname  issued by the test CA for another name
"""
import secrets
import subprocess

KINDS = ("trusted", "untrusted", "expired", "wrongname")


def openssl(folder, *args):
    subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True)


def new_ca(folder, stem, title):
    # A name of its own: a CA left trusted by a test that was killed must not stand in for it.
    title += " " + secrets.token_hex(4)
    openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{stem}.key", "-out", f"{stem}.pem",
            "-days", "2", "-subj", f"/CN={title}", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def make(folder, kind, name, ca_folder):
    assert kind in KINDS, kind
    if not (ca_folder / "ca.der").exists():
        new_ca(ca_folder, "ca", "Veilmark Throwaway Test CA")
        openssl(ca_folder, "x509", "-in", "ca.pem", "-outform", "DER", "-out", "ca.der.tmp")
        (ca_folder / "ca.der.tmp").rename(ca_folder / "ca.der")
    issuer = ca_folder / "ca"
    if kind == "untrusted":
        new_ca(folder, "other-ca", "Veilmark Untrusted Test CA")
        issuer = folder / "other-ca"
    subject = "another-host.invalid" if kind == "wrongname" else name
    (folder / "server.ext").write_text(f"subjectAltName=DNS:{subject}\nextendedKeyUsage=serverAuth\n")
    openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out", "server.csr",
            "-subj", f"/CN={subject}")
    openssl(folder, "x509", "-req", "-in", "server.csr", "-CA", f"{issuer}.pem", "-CAkey", f"{issuer}.key",
            "-CAcreateserial", "-days", "-1" if kind == "expired" else "2", "-extfile", "server.ext",
            "-out", "server.pem")
    return folder / "server.pem", folder / "server.key"
