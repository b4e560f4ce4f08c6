#!/usr/bin/env python3
"""Writes one C project with N sources in two forms that build the same way.

- The tolm form: a project file naming the gnu-gcc tool a user writes, and
  one unit file. Each static library of at most 1,000 sources has a
  compile-only target (C_FLAGS with -c, so every source is its own recipe)
  and an archive target; the program `app` links every library. The
  compile-only target lists its sources one by one, as build.ninja does, or
  with --glob names them by a wildcard (lib0/*.c), as a tolm user may.
- The ninja form: a build.ninja running the same compiler, archiver and
  linker with the same flags on the same absolute paths, in the same output
  directories, one compile per source. ninja also keeps the header
  dependencies it reads from -MMD.

Every library function returns a number; the program prints their sum, so
the two programs can be compared.

    generate.py N TOLM_DIR NINJA_DIR [--glob]
"""

import os
import subprocess
import sys

LIBRARY_SIZE = 1000
C_FLAGS = "-O2"
TOOLCHAIN = "/usr/bin"


def machine():
    return subprocess.run([os.path.join(TOOLCHAIN, "gcc"), "-dumpmachine"],
                          capture_output=True, text=True, check=True).stdout.strip()


def library_sizes(n):
    sizes = []
    while n > 0:
        sizes.append(min(LIBRARY_SIZE, n))
        n -= sizes[-1]
    return sizes


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as out:
        out.write(text)


def write_sources(root, sizes):
    for k, size in enumerate(sizes):
        header = [f"#ifndef LIB{k}_H\n#define LIB{k}_H\n"]
        header += [f"int f{k}_{i}(int x);\n" for i in range(size)]
        header.append("#endif\n")
        write(f"{root}/include/lib{k}.h", "".join(header))
        for i in range(size):
            write(f"{root}/lib{k}/f{k}_{i}.c",
                  f'#include "lib{k}.h"\n\nint f{k}_{i}(int x)\n{{\n'
                  f"    return x * {i % 7 + 1} + {k * 13 + i % 101};\n}}\n")
    main = ["#include <stdio.h>\n"]
    main += [f'#include "lib{k}.h"\n' for k in range(len(sizes))]
    main.append("\nint main(void)\n{\n    long long sum = 0;\n")
    for k, size in enumerate(sizes):
        main += [f"    sum += f{k}_{i}({i % 5});\n" for i in range(size)]
    main.append('    printf("%lld\\n", sum);\n    return 0;\n}\n')
    write(f"{root}/app/main.c", "".join(main))


def write_tolm(root, sizes, glob):
    write(f"{root}/.tolm_project.txt",
          "name bench\n\n"
          f'tools {{\n  gnu {{ tool_type = "gnu-gcc" toolchain_path = "{TOOLCHAIN}" }}\n}}\n\n'
          'units {\n  bench { "tolm.txt" }\n}\n')
    libs = [f"lib{k}" for k in range(len(sizes))]
    unit = ["unit bench\n\n"]
    unit.append(f"app: {' '.join(libs)} {{\n")
    unit.append('  C_FILES = P"(app/main.c)"\n')
    unit.append(f'  C_FLAGS = "{C_FLAGS}"\n')
    unit.append('  INCLUDE = P"(include)"\n')
    unit.append(f"  LIB = [{', '.join(lib + '.lib' for lib in libs)}]\n")
    unit.append('  OUTPUT_DIR = P"(bin)"\n}\n')
    for k, size in enumerate(sizes):
        if glob:
            files = f'P"(lib{k}/*.c)"'
        else:
            files = "[\n    " + ",\n    ".join(f'P"(lib{k}/f{k}_{i}.c)"' for i in range(size)) + "\n  ]"
        unit.append(f"\nlib{k}_objects: {{\n  C_FILES = {files}\n"
                    f'  C_FLAGS = "-c {C_FLAGS}"\n  INCLUDE = P"(include)"\n}}\n')
        unit.append(f"\nlib{k}: lib{k}_objects {{\n  OBJS = lib{k}_objects.objs\n  STATIC\n"
                    f'  OUTPUT_NAME = "liblib{k}.a"\n}}\n')
    write(f"{root}/tolm.txt", "".join(unit))


def write_ninja(root, sizes):
    # The gnu-gcc tool runs the toolchain's prefixed tools, in the output
    # directories it makes (out/<arch-os-abi>/<project>/<unit>/<target>), on
    # absolute paths; build.ninja does the same, so each command line is
    # tolm's own plus -MMD.
    triplet = machine()
    root = os.path.abspath(root)
    out = f"{root}/out/{'-'.join((triplet.split('-') + ['', ''])[:3])}/bench/bench"
    text = [
        f"cc = {TOOLCHAIN}/{triplet}-gcc\nar = {TOOLCHAIN}/{triplet}-ar\nincdir = {root}/include\n\n",
        "rule cc\n  command = cd $dir && $cc -c " + C_FLAGS + " $in -I$incdir -MMD\n"
        "  depfile = $dir/$stem.d\n  deps = gcc\n\n",
        # As tolm's archiver: a stale archive is removed before ar runs.
        "rule ar\n  command = cd $dir && rm -f $name && $ar rcs $name $in\n\n",
        "rule link\n  command = cd $dir && $cc " + C_FLAGS + " $in -I$incdir -o $name $libs\n\n",
    ]
    archives = []
    for k, size in enumerate(sizes):
        objects = []
        for i in range(size):
            obj = f"{out}/lib{k}_objects/f{k}_{i}.o"
            text.append(f"build {obj}: cc {root}/lib{k}/f{k}_{i}.c\n"
                        f"  dir = {out}/lib{k}_objects\n  stem = f{k}_{i}\n")
            objects.append(obj)
        archive = f"{out}/lib{k}/liblib{k}.a"
        text.append(f"build {archive}: ar {' '.join(objects)}\n  dir = {out}/lib{k}\n  name = liblib{k}.a\n")
        archives.append(archive)
    text.append(f"build {root}/bin/app: link {root}/app/main.c | {' '.join(archives)}\n"
                f"  dir = {root}/bin\n  name = app\n  libs = {' '.join(archives)}\n")
    text.append(f"default {root}/bin/app\n")
    for directory in [f"{out}/lib{k}_objects" for k in range(len(sizes))] + \
                     [f"{out}/lib{k}" for k in range(len(sizes))] + [f"{root}/bin"]:
        # tolm makes its output directories; ninja makes only those of outputs.
        os.makedirs(directory, exist_ok=True)
    write(f"{root}/build.ninja", "".join(text))


def main():
    arguments = [word for word in sys.argv[1:] if word != "--glob"]
    if len(arguments) != 3:
        sys.exit(__doc__.rstrip().splitlines()[-1].strip())
    n, tolm_dir, ninja_dir = int(arguments[0]), arguments[1], arguments[2]
    sizes = library_sizes(n)
    for root in (tolm_dir, ninja_dir):
        write_sources(root, sizes)
    write_tolm(tolm_dir, sizes, "--glob" in sys.argv[1:])
    write_ninja(ninja_dir, sizes)


if __name__ == "__main__":
    main()
