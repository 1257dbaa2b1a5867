#!/usr/bin/env python3
"""Writes bench/data/urls.txt: a fixed list of realistic URLs for url_bench.

The list is generated once and committed; the fixed seed makes a rerun give
the same file. Mix: web URLs (http/https/ftp/ws, subdomains, ports, user
information, queries, fragments), file URLs with drive letters and POSIX
roots, bare drive-letter paths, resource URLs and relative references. Every
entry is a valid URI reference (spaces are written as %20) so that both
parsers under comparison accept all of them.
"""
import random

rng = random.Random(20240611)

WORDS = ("data scan raw images project assets build docs api v1 v2 users items search "
         "report 2023 2024 archive backup config shared public media video audio texture "
         "model scene cache tmp release notes index main chapter section export import").split()
TLDS = ["com", "org", "net", "io", "de", "co.uk", "example"]
EXT = ["html", "php", "json", "raw", "png", "jpg", "txt", "tar.gz", "xml", "mp4", ""]


def word():
    return rng.choice(WORDS)


def segments(n):
    return "/".join(word() + (str(rng.randint(1, 999)) if rng.random() < 0.3 else "") for _ in range(n))


def filename():
    ext = rng.choice(EXT)
    name = word() + ("_" + str(rng.randint(1, 99999)) if rng.random() < 0.5 else "")
    if rng.random() < 0.15:
        name += "%20" + word()
    return name + ("." + ext if ext else "")


def host():
    if rng.random() < 0.1:
        return "%d.%d.%d.%d" % tuple(rng.randint(1, 254) for _ in range(4))
    parts = [word() for _ in range(rng.randint(1, 3))]
    return ".".join(parts) + "." + rng.choice(TLDS)


def query():
    items = []
    for _ in range(rng.randint(1, 5)):
        key = word()
        value = rng.choice([str(rng.randint(0, 100000)), word(), word() + "%20" + word(), ""])
        items.append(key + "=" + value if rng.random() < 0.9 else key)
    return "?" + rng.choice(["&", "&", "&", ";"]).join(items)


def fragment():
    return "#" + word() + (str(rng.randint(1, 50)) if rng.random() < 0.5 else "")


def web_url():
    scheme = rng.choice(["http", "https", "https", "https", "ftp", "ws", "wss"])
    authority = ""
    if rng.random() < 0.12:
        authority += word() + (":" + word() + str(rng.randint(10, 99)) if rng.random() < 0.6 else "") + "@"
    authority += host()
    if rng.random() < 0.25:
        authority += ":" + str(rng.choice([80, 443, 8080, 8443, 3000, 21, rng.randint(1024, 65535)]))
    url = scheme + "://" + authority
    if rng.random() < 0.9:
        url += "/" + segments(rng.randint(0, 4))
        if rng.random() < 0.6:
            url += ("/" if not url.endswith("/") else "") + filename()
    if rng.random() < 0.45:
        url += query()
    if rng.random() < 0.2:
        url += fragment()
    return url


def drive():
    return rng.choice("CCCCDEZ") + ":"


def file_url():
    kind = rng.random()
    if kind < 0.55:
        url = "file:///" + drive() + "/" + segments(rng.randint(1, 5)) + "/" + filename()
    elif kind < 0.8:
        url = "file:///" + segments(rng.randint(1, 5)) + "/" + filename()
    else:
        url = "file://" + word() + "/" + segments(rng.randint(1, 3)) + "/" + filename()
    if rng.random() < 0.1:
        url += query()
    return url


def drive_path():
    return drive() + "/" + segments(rng.randint(1, 5)) + "/" + filename()


def resource_url():
    url = "res://" + word() + "/" + segments(rng.randint(1, 3)) + "/" + filename()
    if rng.random() < 0.3:
        url += query()
    if rng.random() < 0.2:
        url += fragment()
    return url


def relative_ref():
    url = rng.choice(["", "../", "./", "/"]) + segments(rng.randint(1, 3)) + "/" + filename()
    if rng.random() < 0.3:
        url += query()
    if rng.random() < 0.2:
        url += fragment()
    return url


KINDS = [(web_url, 55), (file_url, 20), (drive_path, 8), (resource_url, 9), (relative_ref, 8)]


def main():
    makers = [maker for maker, weight in KINDS for _ in range(weight)]
    with open(__file__.replace("generate_urls.py", "urls.txt"), "w") as out:
        for _ in range(12000):
            out.write(rng.choice(makers)() + "\n")


if __name__ == "__main__":
    main()
