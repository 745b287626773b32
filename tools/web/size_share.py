#!/usr/bin/python3
"""How much of a WebAssembly program's code each static library brings:
the code section's function bodies, attributed by the function names of
the name section (link with --profiling-funcs to keep them) to the archive
that defines a function of that name (llvm-nm), the rest to "other"
(Emscripten's C and C++ libraries, glue).

usage: size_share.py PROGRAM.wasm LABEL=ARCHIVE.a [LABEL=ARCHIVE.a ...]"""
import subprocess
import sys


def leb(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, at


def sections(data):
    at = 8
    while at < len(data):
        kind = data[at]
        size, at = leb(data, at + 1)
        yield kind, data[at:at + size]
        at += size


def imported_functions(body):
    count, at = leb(body, 0)
    functions = 0
    for _ in range(count):
        for _ in range(2):  # module and field names
            length, at = leb(body, at)
            at += length
        kind = body[at]
        at += 1
        if kind == 0:
            functions += 1
            _, at = leb(body, at)
        elif kind == 1:
            at += 1
            flags, at = leb(body, at)
            _, at = leb(body, at)
            if flags & 1:
                _, at = leb(body, at)
        elif kind == 2:
            flags, at = leb(body, at)
            _, at = leb(body, at)
            if flags & 1:
                _, at = leb(body, at)
        elif kind == 3:
            at += 2
        else:
            _, at = leb(body, at)
    return functions


def main():
    data = open(sys.argv[1], "rb").read()
    imports = 0
    bodies = []
    names = {}
    for kind, body in sections(data):
        if kind == 2:
            imports = imported_functions(body)
        elif kind == 10:
            count, at = leb(body, 0)
            for _ in range(count):
                size, start = leb(body, at)
                bodies.append(size + (start - at))
                at = start + size
        elif kind == 0:
            length, at = leb(body, 0)
            if body[at:at + length] != b"name":
                continue
            at += length
            while at < len(body):
                sub = body[at]
                size, at = leb(body, at + 1)
                if sub == 1:
                    count, p = leb(body, at)
                    for _ in range(count):
                        index, p = leb(body, p)
                        length, p = leb(body, p)
                        names[index] = body[p:p + length].decode("utf-8", "replace")
                        p += length
                at += size
    owner = {}
    for label, archive in (argument.split("=", 1) for argument in sys.argv[2:]):
        for demangle in ([], ["--demangle"]):
            listing = subprocess.run(["llvm-nm-14", "--defined-only", "--just-symbol-name", archive] + demangle,
                                     capture_output=True, text=True).stdout
            for name in listing.splitlines():
                owner.setdefault(name.strip(), label)
    shares = {}
    for i, size in enumerate(bodies):
        name = names.get(imports + i, "")
        label = owner.get(name, "other")
        shares[label] = shares.get(label, 0) + size
    print("%s: %d bytes in all, %d of them code" % (sys.argv[1], len(data), sum(bodies)))
    for label, size in sorted(shares.items(), key=lambda item: -item[1]):
        print("  %-10s %8d bytes of code (%4.1f %%)" % (label, size, 100.0 * size / sum(bodies)))


if __name__ == "__main__":
    main()
