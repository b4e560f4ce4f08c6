#!/usr/bin/env python3
"""Writes one C project with N sources in two forms that build the same way.

- The tolm form: a project file naming the gnu-gcc tool a user writes, and
  one unit file. Each static library of at most 1,000 sources has a
  compile-only target (C_FLAGS with -c, so every source is its own recipe)
  and an archive target; the program `app` links every library. The
  compile-only target lists its sources one by one, as build.ninja does, or
  with --glob names them by a wildcard (lib0/*.c), as a tolm user may.
- The ninja form: a build.ninja running the same compiler, archiver and
  linker with the same flags, one compile per source. ninja also keeps the
  header dependencies it reads from -MMD.

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


def toolchain_prefix():
    # The gnu-gcc tool picks the toolchain's prefixed tools; name the same
    # files in build.ninja.
    machine = subprocess.run([os.path.join(TOOLCHAIN, "gcc"), "-dumpmachine"],
                             capture_output=True, text=True, check=True).stdout.strip()
    return os.path.join(TOOLCHAIN, machine + "-")


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
    prefix = toolchain_prefix()
    text = [
        f"cc = {prefix}gcc\nar = {prefix}ar\n\n",
        "rule cc\n  command = $cc -MMD -MF $out.d -c " + C_FLAGS + " $in -Iinclude -o $out\n"
        "  depfile = $out.d\n  deps = gcc\n\n",
        # As tolm's archiver: a stale archive is removed before ar runs.
        "rule ar\n  command = rm -f $out && $ar rcs $out $in\n\n",
        "rule link\n  command = $cc " + C_FLAGS + " $in -Iinclude -o $out $libs\n\n",
    ]
    archives = []
    for k, size in enumerate(sizes):
        objects = []
        for i in range(size):
            obj = f"out/lib{k}/f{k}_{i}.o"
            text.append(f"build {obj}: cc lib{k}/f{k}_{i}.c\n")
            objects.append(obj)
        archive = f"out/liblib{k}.a"
        text.append(f"build {archive}: ar {' '.join(objects)}\n")
        archives.append(archive)
    text.append(f"build bin/app: link app/main.c | {' '.join(archives)}\n"
                f"  libs = {' '.join(archives)}\n")
    text.append("default bin/app\n")
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
