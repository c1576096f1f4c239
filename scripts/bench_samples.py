"""The sample installations that scripts/bench measures the program on."""

import os
import random
from pathlib import Path


def make_tree(root: Path, files: int, megabytes: float, seed: int = 7):
    """files files in nested folders, megabytes in all, a few empty folders. Sizes follow a
    log-normal spread: many small files, a few large ones, as in an installed application."""
    rng = random.Random(seed)
    folders = [root]
    # About 20 files a folder, up to five levels deep.
    while len(folders) < max(1, files // 20):
        parent = rng.choice(folders)
        if len(parent.relative_to(root).parts) >= 5:
            continue
        folders.append(parent / f"dir{len(folders):04d}")
    empty = [rng.choice(folders) / f"empty{i:02d}" for i in range(max(2, len(folders) // 50))]
    empty.append(empty[0] / "empty-inside")

    weights = [rng.lognormvariate(0, 1.6) for _ in range(files)]
    scale = megabytes * 1024 * 1024 / sum(weights)
    sizes = [int(w * scale) for w in weights]
    block = rng.randbytes(4 * 1024 * 1024)
    total = 0
    for folder in folders + empty:
        folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for i, size in enumerate(sizes):
        path = folders[i % len(folders)] / f"file{i:05d}.{rng.choice(('dll', 'dat', 'ini', 'rpt'))}"
        with open(path, "wb") as out:
            left, offset = size, i % 4096
            while left:
                chunk = block[offset:offset + min(left, len(block) - offset)]
                out.write(chunk)
                left -= len(chunk)
                offset = 0
        paths.append(path)
        total += size
    return paths, len(folders) + len(empty), total


def tree_counts(root: Path):
    files = folders = 0
    for _, dirnames, filenames in os.walk(root):
        folders += len(dirnames)
        files += len(filenames)
    return files, folders


def make_folder_heavy(root: Path, folders: int, files: int, seed: int = 17):
    """folders folders below root, up to four levels deep, holding files small files spread
    evenly over them (one each when the counts are equal): an installation of many small
    folders, where what a run does per folder weighs more than what it does per byte."""
    rng = random.Random(seed)
    tree = [root]
    while len(tree) <= folders:
        parent = rng.choice(tree)
        if len(parent.relative_to(root).parts) >= 4:
            continue
        tree.append(parent / f"dir{len(tree):05d}")
    for folder in tree:
        folder.mkdir(parents=True, exist_ok=True)
    paths, total = [], 0
    for i in range(files):
        path = tree[1 + i % folders] / f"file{i:05d}.{rng.choice(('ini', 'xml', 'rpt'))}"
        size = rng.randint(100, 8000)
        path.write_bytes(rng.randbytes(size))
        paths.append(path)
        total += size
    return paths, folders, total
