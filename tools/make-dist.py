#!/usr/bin/env python3
"""Makes the release files from a Windows build folder (`make dist`, the signing test).

    make-dist.py --build build/windows --out build/dist [--unsigned]

1. OUT/veilmark.exe: the linked program stripped of its debug information, then given its
   symbol table and integrity stamp again (crashreport/capture/postlink.py). This file is
   reproducible: two builds of one commit give the same bytes. --unsigned stops here.
2. It is signed with osslsigncode (SHA-256). The certificate is VEILMARK_SIGN_PKCS12 with the
   password in the file VEILMARK_SIGN_PASSWORD_FILE; without them a throwaway self-signed
   certificate made here (kept in BUILD/signing), and the files are for tests only.
3. OUT/veilmark-<version>-win32.zip (win64 for the 64-bit twin): the program and a read-me,
   with fixed dates; OUT/SHA256SUMS over the program and the zip.
No network is used: a real release adds a time stamp with TIMESTAMP_URL (see the README).
"""
import argparse
import datetime
import hashlib
import os
import pathlib
import struct
import subprocess
import sys
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
POSTLINK = ROOT / "crashreport" / "capture" / "postlink.py"
TEST_ONLY = "for tests only"


def run(*args, **kwargs):
    return subprocess.run([str(a) for a in args], check=True, **kwargs)


def pe_machine(data):
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    return {0x14C: "i686", 0x8664: "x86_64"}[struct.unpack_from("<H", data, nt + 4)[0]]


def file_version(data):
    """The four numbers of the version resource's fixed part."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        sys.exit("make-dist: the program has no version resource")
    high, low = struct.unpack_from("<II", data, at + 8)
    return f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"


def shipped_program(build, out, arch):
    tools = f"{arch}-w64-mingw32-"
    linked = build / "app" / "veilmark.exe"
    exe = out / "veilmark.exe"
    # The linker writes no time into the header; strip would write the current one.
    run(tools + "strip", "-o", exe, linked, env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
    run(sys.executable, POSTLINK, "--nm", tools + "nm", "--objdump", tools + "objdump", exe, "--symbols-from", linked)
    return exe


def throwaway_certificate(folder):
    """A self-signed code-signing certificate of this build folder, made once."""
    cert, key = folder / "throwaway-cert.pem", folder / "throwaway-key.pem"
    if not cert.exists() or not key.exists():
        folder.mkdir(parents=True, exist_ok=True)
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
            "-subj", f"/CN=Veilmark throwaway signer ({TEST_ONLY})", "-addext", "extendedKeyUsage=codeSigning",
            "-keyout", key, "-out", cert, capture_output=True)
    return cert, key


def sign(unsigned, signed, cert_folder):
    """Signs and returns the certificate file that verifies it (None for a real one)."""
    common = ["-h", "sha256", "-n", "Veilmark", "-in", unsigned, "-out", signed]
    if os.environ.get("TIMESTAMP_URL"):
        common += ["-ts", os.environ["TIMESTAMP_URL"]]
    pkcs12 = os.environ.get("VEILMARK_SIGN_PKCS12")
    if pkcs12:
        password = os.environ.get("VEILMARK_SIGN_PASSWORD_FILE")
        if not password:
            sys.exit("make-dist: VEILMARK_SIGN_PKCS12 needs VEILMARK_SIGN_PASSWORD_FILE")
        run("osslsigncode", "sign", "-pkcs12", pkcs12, "-readpass", password, *common, stdout=subprocess.DEVNULL)
        return None
    cert, key = throwaway_certificate(cert_folder)
    run("osslsigncode", "sign", "-certs", cert, "-key", key, *common, stdout=subprocess.DEVNULL)
    run("osslsigncode", "verify", "-CAfile", cert, "-in", signed, stdout=subprocess.DEVNULL)
    return cert


def release_date():
    """The commit's time, so that the zip's entries do not carry the build's."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        git = subprocess.run(["git", "-C", str(ROOT), "log", "-1", "--format=%ct"], capture_output=True, text=True)
        epoch = git.stdout.strip() if git.returncode == 0 else ""
    moment = datetime.datetime.fromtimestamp(int(epoch or 315532800), datetime.timezone.utc)
    return max(moment.timetuple()[:6], (1980, 1, 1, 0, 0, 0))


def read_me(version, test_only):
    text = [f"Veilmark {version}", "",
            "Veilmark keeps Google Chrome from recognising you by its installation's client ID.",
            "Unpack veilmark.exe anywhere and start it; it needs no installation (Windows 7 to 11).",
            "Crash reports are kept in bugreport.txt beside the program and sent only when you ask.", "",
            "Check your copy: SHA256SUMS beside the download lists the SHA-256 of this zip and of",
            "veilmark.exe; the program carries the maker's code signature (file properties,",
            "Digital Signatures)."]
    if test_only:
        text += ["", f"THIS COPY IS SIGNED WITH A THROWAWAY TEST CERTIFICATE: {TEST_ONLY}, not for users."]
    return "\r\n".join(text) + "\r\n"


def package(out, exe, version, arch, test_only):
    name = f"veilmark-{version}-{'win32' if arch == 'i686' else 'win64'}.zip"
    date = release_date()
    with zipfile.ZipFile(out / name, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for entry, data in (("veilmark.exe", exe.read_bytes()), ("README.txt", read_me(version, test_only).encode())):
            info = zipfile.ZipInfo(entry, date)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    sums = "".join(f"{hashlib.sha256((out / f).read_bytes()).hexdigest()}  {f}\n" for f in ("veilmark.exe", name))
    (out / "SHA256SUMS").write_text(sums)
    return out / name


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True, type=pathlib.Path)
    p.add_argument("--out", required=True, type=pathlib.Path)
    p.add_argument("--unsigned", action="store_true")
    a = p.parse_args()
    a.out.mkdir(parents=True, exist_ok=True)
    arch = pe_machine((a.build / "app" / "veilmark.exe").read_bytes())
    exe = shipped_program(a.build, a.out, arch)
    if a.unsigned:
        print(exe)
        return
    unsigned = a.out / "veilmark-unsigned.exe"
    exe.replace(unsigned)
    test_cert = sign(unsigned, exe, a.build / "signing")
    unsigned.unlink()
    version = file_version(exe.read_bytes())
    archive = package(a.out, exe, version, arch, test_cert is not None)
    print((a.out / "SHA256SUMS").read_text(), end="")
    print(f"{exe}\n{archive}")
    if test_cert:
        print(f"NOTE: signed with a throwaway self-signed certificate ({test_cert}): these files are "
              f"{TEST_ONLY}. Set VEILMARK_SIGN_PKCS12 and VEILMARK_SIGN_PASSWORD_FILE to sign a release.")


if __name__ == "__main__":
    main()
