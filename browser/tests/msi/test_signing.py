"""The package signed with an organisation's certificate, here one of a throwaway CA made in the
test's folder: every program it ships and the package itself verify against that CA, one changed
byte breaks that, and the signed package installs and runs under Wine. A half-given certificate
stops the script; without one nothing is signed, and the script says so once."""

import re
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pefile
import pytest

from hostrun import windows_path

PROGRAMS = {"Quenlow.exe", "quenlow-register.exe", "quenlow-talk.exe", "Varnhold64.dll",
            "Halvern.dll"}
PUBLISHER = "Quenlow Test Publisher"
NOT_SIGNED = "Not signed: no certificate given"


@dataclass(frozen=True)
class Authority:
    """A CA, a code-signing certificate it issued, and that certificate's key in both forms the
    build takes, each locked with the same password."""
    ca: Path
    stranger_ca: Path  # a CA that issued nothing here
    pkcs12: Path
    cert: Path
    key: Path
    password_file: Path
    password: str


def make_ca(openssl, folder, name):
    subprocess.run([openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", f"/CN={name}", "-keyout", f"{name}.key", "-out", f"{name}.pem",
                    "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
                   cwd=folder, check=True, capture_output=True)
    return folder / f"{name}.pem"


@pytest.fixture(scope="module")
def authority(build, tmp_path_factory):
    folder = tmp_path_factory.mktemp("authority")

    def openssl(*args):
        subprocess.run([build.openssl, *args], cwd=folder, check=True, capture_output=True)

    ca = make_ca(build.openssl, folder, "ca")
    stranger = make_ca(build.openssl, folder, "stranger")
    password = "correct horse"
    (folder / "password").write_text(password + "\n")
    (folder / "signing.ext").write_text("basicConstraints=CA:FALSE\n"
                                        "keyUsage=critical,digitalSignature\n"
                                        "extendedKeyUsage=codeSigning\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={PUBLISHER}",
            "-keyout", "plain.key", "-out", "signing.csr")
    openssl("x509", "-req", "-in", "signing.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "signing.ext", "-out", "signing.pem")
    openssl("pkcs12", "-export", "-in", "signing.pem", "-inkey", "plain.key", "-certfile",
            "ca.pem", "-passout", "file:password", "-out", "signing.p12")
    openssl("pkey", "-in", "plain.key", "-aes256", "-passout", "file:password",
            "-out", "signing.key")
    (folder / "plain.key").unlink()
    return Authority(ca=ca, stranger_ca=stranger, pkcs12=folder / "signing.p12",
                     cert=folder / "signing.pem", key=folder / "signing.key",
                     password_file=folder / "password", password=password)


# The two ways of giving the certificate: settings for the script, and the password that comes
# from the environment (None: from the password file).
WAYS = {
    "PKCS#12 file, password file": lambda a: (
        {"QUENLOW_SIGN_PKCS12": a.pkcs12, "QUENLOW_SIGN_PASSWORD_FILE": a.password_file}, None),
    "certificate and key, password in the environment": lambda a: (
        {"QUENLOW_SIGN_CERT": a.cert, "QUENLOW_SIGN_KEY": a.key}, a.password),
}


def extract(package, folder):
    subprocess.run(["msiextract", "-C", str(folder), str(package)], check=True,
                   capture_output=True, timeout=120)
    return {p.name: p for p in folder.rglob("*") if p.suffix in (".exe", ".dll")}


@pytest.fixture(scope="module")
def signed(build, make_msi, authority, tmp_path_factory):
    """For each way: the signed package, and the programs extracted from it."""
    made = {}
    for way, settings in WAYS.items():
        folder = tmp_path_factory.mktemp("signed")
        package = folder / f"Quenlow-{build.version}-x64.msi"
        signing, password = settings(authority)
        output = make_msi(build.version, package, signing, password)
        assert NOT_SIGNED not in output
        assert not list(folder.glob("*.private")), "the password file was left behind"
        made[way] = (package, extract(package, folder / "files"))
    return made


def verify(build, path, ca):
    result = subprocess.run([build.osslsigncode, "verify", "-CAfile", str(ca), "-in", str(path)],
                            capture_output=True, text=True, timeout=60)
    return result.returncode, result.stdout + result.stderr


@pytest.mark.parametrize("way", WAYS)
def test_every_shipped_program_and_the_package_verify_against_the_ca(build, authority, signed,
                                                                     way):
    package, programs = signed[way]
    assert set(programs) == PROGRAMS
    for path in [package, *programs.values()]:
        status, output = verify(build, path, authority.ca)
        assert status == 0, output
        assert "Signature verification: ok" in output, output
        assert f"Subject: /CN={PUBLISHER}" in output, output
        assert re.search(r"^Message digest algorithm +: SHA256", output, re.M), output


def flip_byte_in_the_middle(path):
    data = bytearray(path.read_bytes())
    data[len(data) // 2] ^= 0x01
    path.write_bytes(bytes(data))


def flip_byte_in_the_cabinet(path):
    data = bytearray(path.read_bytes())
    data[data.index(b"MSCF") + 4096] ^= 0x01
    path.write_bytes(bytes(data))


# What breaks a signature: the file to check, how it is changed, and the CA it is checked against.
BROKEN = {
    "a byte of the host": ("Quenlow.exe", flip_byte_in_the_middle, "ca"),
    "a byte of the bridge stand-in": ("Halvern.dll", flip_byte_in_the_middle, "ca"),
    "a byte of the package's files": ("package", flip_byte_in_the_cabinet, "ca"),
    "a CA that did not issue the certificate": ("Quenlow.exe", None, "stranger_ca"),
}


@pytest.mark.parametrize("case", BROKEN)
def test_a_changed_file_or_another_ca_fails_verification(build, authority, signed, tmp_path,
                                                         case):
    name, change, ca = BROKEN[case]
    package, programs = signed[next(iter(WAYS))]
    original = package if name == "package" else programs[name]
    copy = tmp_path / original.name
    copy.write_bytes(original.read_bytes())
    if change:
        change(copy)
    status, output = verify(build, copy, getattr(authority, ca))
    assert status != 0, output
    assert "Signature verification: ok" not in output, output


def test_the_signed_package_installs_and_its_programs_run_under_wine(build, authority, machine,
                                                                     signed, tmp_path):
    package, programs = signed[next(iter(WAYS))]
    folder = "C:\\Program Files\\Quenlow\\"
    assert machine.msiexec("/i", windows_path(package), "/qn", "ADDLOCAL=ALL") == 0
    try:
        for name, extracted in programs.items():
            installed = machine.folder(folder) / name
            assert installed.read_bytes() == extracted.read_bytes(), name

        # The signed host, started by the signed quenlow-talk, loads the signed agent stand-in.
        replies = [frame["type"] for frame in machine.talk_to_installed_host(
            folder, tmp_path, "https://signed.example/", 1)]
        assert "documentCompleteAck" in replies, replies
    finally:
        assert machine.msiexec("/x", windows_path(package), "/qn") == 0
    assert machine.quenlow_products() == []


# Certificates the script must refuse rather than make an unsigned package from.
HALF_GIVEN = {
    "a certificate without its key": lambda a: {"QUENLOW_SIGN_CERT": a.cert},
    "a key without its certificate": lambda a: {"QUENLOW_SIGN_KEY": a.key},
    "a PKCS#12 file and a certificate": lambda a: {"QUENLOW_SIGN_PKCS12": a.pkcs12,
                                                   "QUENLOW_SIGN_CERT": a.cert,
                                                   "QUENLOW_SIGN_KEY": a.key},
    "a PKCS#12 file that is not there": lambda a: {"QUENLOW_SIGN_PKCS12": a.pkcs12.with_name("x")},
    "a wrong password": lambda a: {"QUENLOW_SIGN_PKCS12": a.pkcs12,
                                   "QUENLOW_SIGN_PASSWORD_FILE": a.ca},
    "a password file but no certificate": lambda a: {
        "QUENLOW_SIGN_PASSWORD_FILE": a.password_file},
}


@pytest.mark.parametrize("case", HALF_GIVEN)
def test_a_half_given_certificate_stops_the_script_and_leaves_no_package(build, make_msi,
                                                                         authority, tmp_path,
                                                                         case):
    package = tmp_path / "Quenlow.msi"
    status, output = make_msi(build.version, package, HALF_GIVEN[case](authority), check=False)
    assert status != 0, output
    assert "QUENLOW_SIGN_" in output or "Signing" in output, output
    assert list(tmp_path.iterdir()) == [], output


def test_without_a_certificate_nothing_is_signed_and_the_script_says_so_once(build, make_msi,
                                                                             authority, signed,
                                                                             tmp_path):
    # Made after the signed ones: signing them left the build's own files as they were.
    package = tmp_path / "Quenlow.msi"
    output = make_msi(build.version, package)
    assert output.count(NOT_SIGNED) == 1, output
    programs = extract(package, tmp_path / "files")
    assert set(programs) == PROGRAMS
    security = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
    for name, path in programs.items():
        image = pefile.PE(str(path), fast_load=True)
        assert image.OPTIONAL_HEADER.DATA_DIRECTORY[security].Size == 0, name
    status, output = verify(build, package, authority.ca)
    assert "no signature" in output, output
