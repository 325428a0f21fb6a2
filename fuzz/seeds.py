#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/, one folder per fuzz target.

The targets read their input through libFuzzer's FuzzedDataProvider: strings and the remaining
bytes from the front of the input, booleans and small integers from its back. Seed.build() lays the
parts out that way, so each seed starts the fuzzer at a case worth mutating. Run it again after
changing a target's input layout; libFuzzer adds what it finds to a corpus folder of its own.
"""
import hashlib
import pathlib

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


class Seed:
    def __init__(self):
        self.front = bytearray()
        self.back = []  # in the order the target consumes them

    def string(self, text):
        data = text.encode("latin-1") if isinstance(text, str) else text
        self.front += data.replace(b"\\", b"\\\\") + b"\\x"  # "\" and any other byte end it
        return self

    def boolean(self, value):
        self.back.append(1 if value else 0)
        return self

    def byte(self, value):
        self.back.append(value)
        return self

    def rest(self, text):
        self.front += text.encode("latin-1") if isinstance(text, str) else text
        return self

    def build(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, seeds):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    for data in seeds:
        name = hashlib.sha1(data).hexdigest()[:16]
        (folder / name).write_bytes(data)


SETTINGS = "[Q9Actions]\r\nPublicPath=d:\\pub\r\nRestart=Y\r\n"
BOOKKEEPING = "[__Dont_Touch_Me__]\r\nSectors=2\r\nSectors_1=a,b,c\r\nSectors_2=x\r\n"


def profile_text():
    cases = [
        ("Q9Actions", "PublicPath", "d:\\pub", SETTINGS),
        ("Q9Actions", "Restart", "Y", "; comment\r\n[Other]\r\nRestart=N\r\n"),
        ("q9actions", "restart", "N", SETTINGS + BOOKKEEPING),
        ("__Dont_Touch_Me__", "Sectors", "0", BOOKKEEPING + "[Q9Actions]\r\nRestart=Y"),
        ("Q9Actions", "PublicPath", "  padded  ", "[Q9Actions]\nPublicPath=\"quoted\"\n"),
        ("Q9Actions", "PublicPath", "'x'", "[Q9Actions]\rPublicPath=old\rRestart=Y"),
        ("Q9Actions", "PublicPath", "\"", "[Q9Actions\r\nPublicPath = a=b \r\n"),
        ("Q9Actions", "Restart", "Y", "\xef\xbb\xbf" + SETTINGS),
        ("Q9Actions", "PublicPath", "pub", "[Q9Actions]\r\nPublicPath=pub\x00junk\r\n"),
        ("Q9Actions", "Restart", "Y", "[Q9Actions]\r\n[Q9Actions]\r\nRestart=N\r\n\x1a"),
        ("Q9Actions", "Restart", "line\r\nbreak", SETTINGS),
        ("Q9 Actions", "Public Path", "", "[ Q9Actions ]\r\nRestart\r\n;Restart=Y\r\n"),
        ("S]", "k=", "v", SETTINGS),
    ]
    return [Seed().string(s).string(k).string(v).rest(t).build() for s, k, v, t in cases]


def arguments():
    lines = [
        'stop "Clarion Application Broker"',
        'a\\\\"b c" d',
        '"a""b" "" x',
        '\\\\server\\share "x y\\\\" \\"',
        '"unterminated \\\\\\"',
        " \t lead\tand trail \t ",
        "a\x00b\x00\x00 c",
        "",
        '"',
    ]
    return [line.encode("latin-1") for line in lines]


def deletion_command():
    cases = [
        (False, "d:\\pub", "cache"),
        (False, "d:\\my pub", "%PATH%"),
        (False, "d:\\pub", "a b & rd ASSETS"),
        (False, "d:\\pub", "!x!^(1)"),
        (False, "c:/pub", "x /q"),
        (False, "d:\\pub%", "%%cd:~,%"),
        (False, "d:\\pub", "a,b;c=d"),
        (True, "d:\\pub", "junction"),
        (False, "d:\\pub", 'a"b'),
        (False, "d:\\pub", "x\r\ny"),
        (False, "", ""),
    ]
    return [Seed().boolean(link).string(folder).rest(name).build() for link, folder, name in cases]


DIRECTORY, HIDDEN, SYSTEM, ARCHIVE = 0x10, 0x02, 0x04, 0x20
# How purge_fuzz reads the form byte of an entry (modulo 8) and the code page byte (modulo 9).
ANSI, UTF8, NO_NAME = 0, 6, 7
CP_1252, CP_932, CP_UTF8 = 0, 3, 7

LISTING = [
    (".", None, DIRECTORY, False, ANSI),
    ("..", None, DIRECTORY, False, ANSI),
    ("ASSETS", None, DIRECTORY, False, ANSI),
    ("assets", None, DIRECTORY, False, ANSI),
    ("Assets Old", "ASSETS~1", DIRECTORY, False, ANSI),
    ("ASSETS-old", "ASSETS~2", DIRECTORY, False, ANSI),
    ("ASSETS.", "ASSETS~3", DIRECTORY, False, ANSI),
    ("ASSETS ", None, DIRECTORY, False, ANSI),
    ("cache", None, DIRECTORY | HIDDEN | SYSTEM, False, ANSI),
    ("x.", None, DIRECTORY, False, ANSI),
    ("CON", None, DIRECTORY, False, ANSI),
    ("nul.txt", None, DIRECTORY, False, ANSI),
    ("COM\xb9", None, DIRECTORY, False, ANSI),
    ("LPT\xb3.log", None, DIRECTORY, False, ANSI),
    ("a?b", None, DIRECTORY, False, ANSI),
    ("notes.txt", None, ARCHIVE, False, ANSI),
    ("junction", None, DIRECTORY, True, ANSI),
    ("-rf", None, DIRECTORY, False, ANSI),
    ("a b & rd ASSETS", "ABRDAS~1", DIRECTORY, False, ANSI),
    # Code page 932: trail bytes 0x5C and 0x7C (ソフト, 表示, ポート), full-width ＡＳＳＥＴＳ.
    (b"\x83\x5c\x83\x74\x83\x67", None, DIRECTORY, False, ANSI),
    (b"\x95\x5c\x8e\xa6", None, DIRECTORY, False, ANSI),
    (b"\x83\x7c\x81\x5b\x83\x67", None, DIRECTORY, False, ANSI),
    (b"\x82\x60\x82\x72\x82\x72\x82\x64\x82\x73\x82\x72", None, DIRECTORY, False, ANSI),
    # Names no ANSI code page carries, in UTF-8: ＡＳＳＥＴＳ with the alias ASSETS, ．．, ｏｎｅ.
    ("ＡＳＳＥＴＳ".encode(), "ASSETS", DIRECTORY, False, UTF8),
    ("．．".encode(), "..", DIRECTORY, False, UTF8),
    ("ｏｎｅ".encode(), None, DIRECTORY, False, UTF8),
    (b"", "HALF~1", DIRECTORY, False, NO_NAME),
]


def purge():
    seeds = []
    for windows in (True, False):
        for code_page in (CP_1252, CP_932, CP_UTF8):
            for public_path in (None, "c:\\my pub", "c:\\pub%x%"):
                for start in range(0, len(LISTING), 6):
                    seed = Seed().boolean(windows).byte(code_page).boolean(public_path is None)
                    if public_path is not None:
                        seed.string(public_path)
                    for name, shortname, attrib, link, form in LISTING[start:start + 8]:
                        seed.string(name).boolean(shortname is None)
                        if shortname is not None:
                            seed.string(shortname)
                        seed.byte(attrib).boolean(link).byte(form)
                    seeds.append(seed.build())
    return seeds


if __name__ == "__main__":
    write("profile_text", profile_text())
    write("arguments", arguments())
    write("deletion_command", deletion_command())
    write("purge", purge())
