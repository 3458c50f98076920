#!/usr/bin/python3
"""Certificates for the TLS tests, made fresh in FOLDER.

ca.pem         a test authority (the tests point SSL_CERT_FILE at it)
good.pem       key + certificate for localhost, 127.0.0.1 and ::1, signed by the authority
expired.pem    the same names, expired yesterday
wrongname.pem  signed by the authority for another host only
selfsigned.pem a certificate that signs itself
"""
import sys

from OpenSSL import crypto


def key():
    k = crypto.PKey()
    k.generate_key(crypto.TYPE_RSA, 2048)
    return k


def certificate(subject_key, name, sans, issuer=None, issuer_key=None, days=(0, 2), serial=1):
    c = crypto.X509()
    c.set_version(2)
    c.set_serial_number(serial)
    c.get_subject().CN = name
    c.gmtime_adj_notBefore(days[0] * 86400)
    c.gmtime_adj_notAfter(days[1] * 86400)
    c.set_pubkey(subject_key)
    c.set_issuer((issuer or c).get_subject())
    extensions = [crypto.X509Extension(b"basicConstraints", True,
                                       b"CA:TRUE" if issuer is None and not sans else b"CA:FALSE")]
    if sans:
        extensions.append(crypto.X509Extension(b"subjectAltName", False, sans.encode()))
    c.add_extensions(extensions)
    c.sign(issuer_key or subject_key, "sha256")
    return c


def write(path, k, c):
    with open(path, "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, k))
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, c))


def main():
    folder = sys.argv[1]
    ca_key = key()
    ca = certificate(ca_key, "Pelmar Test Authority", None)
    with open(folder + "/ca.pem", "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, ca))
    here = "DNS:localhost, IP:127.0.0.1, IP:::1"
    server_key = key()
    write(folder + "/good.pem", server_key,
          certificate(server_key, "localhost", here, ca, ca_key, serial=2))
    write(folder + "/expired.pem", server_key,
          certificate(server_key, "localhost", here, ca, ca_key, days=(-3, -1), serial=3))
    write(folder + "/wrongname.pem", server_key,
          certificate(server_key, "elsewhere.example", "DNS:elsewhere.example", ca, ca_key,
                      serial=4))
    self_key = key()
    write(folder + "/selfsigned.pem", self_key, certificate(self_key, "localhost", here))


if __name__ == "__main__":
    main()
