#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Corpus and score of the full repair (orvik-repair --full).

  full_corpus.py make DIR MIB [MODE...] writes DIR/sound.txt and DIR/MODE.txt for each MODE (all
                                       by default), each cut to at most MIB MiB of whole lines
  full_corpus.py score DIR MODE OUT    scores OUT, the repair of DIR/MODE.txt, against the sound text

The sound text is French prose drawn at random (fixed seed) from words weighted by how often
they occur, with what damage hurts most: typographic apostrophes, « » and the no-break spaces
around them and before : ; ! ?, narrow no-break spaces, capitals (É À Ç Î Œ), œ, €, …, – and
ë ï ü. One paragraph a line. The modes:

  once      UTF-8 read as Windows-1252 (its five undefined bytes as C1 controls)
  twice     the same damage applied twice
  nbsp      once, then every no-break space turned into a plain space
  latin1    UTF-8 read as Latin-1 (80-9F as C1 controls)
  half      every other paragraph damaged once, the others left sound
  clean     the sound text itself

The score aligns each repaired paragraph with its sound one: a damaged character (a non-ASCII
character of a damaged paragraph) is restored when it comes back in place; a correct character
(every other one) is changed when it does not.
"""
import difflib
import pathlib
import random
import sys

MODES = ("once", "twice", "nbsp", "latin1", "half", "clean")
NBSP, NNBSP = "\u00a0", "\u202f"

WORDS = """de 420 la 260 le 230 et 220 les 200 des 150 à 140 en 130 un 120 une 100 du 90 que 90
est 85 pour 70 qui 70 dans 70 il 65 par 55 plus 55 pas 55 au 50 sur 50 ne 45 se 45 ce 45 elle 40
avec 40 son 35 sa 30 ses 30 ou 30 mais 30 comme 30 on 30 tout 25 nous 25 vous 25 été 25 aux 20
leur 20 fait 15 était 15 cette 15 ont 15 être 15 ces 15 deux 15 même 12 où 12 très 12 après 10
entre 10 sans 10 peut 10 aussi 10 bien 10 faire 10 alors 10 là 8 déjà 6 ça 6 français 5
première 5 année 5 état 5 début 4 société 4 général 4 développement 3 période 4 réponse 3
idée 3 côté 3 fenêtre 2 forêt 2 tête 3 garçon 2 leçon 1 reçu 2 hôpital 1 bientôt 2 île 1
connaître 2 maître 2 août 1 goût 1 sûr 2 château 1 âge 2 théâtre 1 problème 3 système 3 frère 2
mère 3 père 3 dernière 3 lumière 2 manière 3 Noël 1 naïf 1 aïeul 1 Citroën 1 capharnaüm 1
cœur 2 sœur 1 œuvre 2 maison 6 jardin 3 soleil 3 matin 5 soir 5 temps 10 jour 10 homme 8
femme 6 enfant 5 ville 5 pays 5 monde 8 vie 8 main 5 yeux 5 nuit 5 chose 6 rien 8 encore 8
toujours 8 jamais 6 souvent 4 quelque 4 porte 3 livre 3 route 3 travail 3 histoire 4"""
ELIDED = "l’ d’ qu’ n’ s’ j’ c’ m’ jusqu’".split()
OPENERS = "À Ça Élodie État Être Île Œuvre Ève Ô Déjà Le La Les Il Elle On Nous Après Où".split()
CAPITALS = "ÉTÉ CAFÉ ÉCOLE NOËL".split()


def sound_text(size, seed=20261206):
    rng = random.Random(seed)
    pairs = WORDS.split()
    words = [w for w, n in zip(pairs[::2], pairs[1::2]) for _ in range(int(n))]
    out, total = [], 0
    while total < size:
        sentences = []
        for _ in range(rng.randint(2, 6)):
            parts = [rng.choice(OPENERS)]
            for _ in range(rng.randint(5, 18)):
                r = rng.random()
                if r < 0.05:
                    parts.append(rng.choice(ELIDED) + rng.choice(words))
                elif r < 0.07:
                    parts.append(f"{rng.randint(2, 999)}{NBSP}€")
                elif r < 0.08:
                    parts.append(f"«{NBSP}{rng.choice(words)} {rng.choice(words)}{NBSP}»")
                elif r < 0.085:
                    parts.append(rng.choice(CAPITALS))
                elif r < 0.09:
                    parts.append("–")
                else:
                    parts.append(rng.choice(words))
                if rng.random() < 0.06:
                    parts[-1] += ","
            end = rng.choice([".", ".", ".", "…", f"{NBSP}!", f"{NNBSP}?", f"{NBSP}:"])
            sentences.append(" ".join(parts) + end)
        paragraph = " ".join(sentences)
        out.append(paragraph)
        total += len(paragraph.encode()) + 1
    return out


# Each byte 80-9F as the character Windows-1252 puts there (its five holes stay C1 controls).
CP1252 = {b: bytes([b]).decode("cp1252") for b in range(0x80, 0xA0)
          if b not in (0x81, 0x8D, 0x8F, 0x90, 0x9D)}


def damage(text, latin1=False):
    read = text.encode().decode("latin-1")
    return read if latin1 else read.translate(CP1252)


def damaged(paragraphs, mode):
    if mode == "once":
        return [damage(p) for p in paragraphs]
    if mode == "twice":
        return [damage(damage(p)) for p in paragraphs]
    if mode == "nbsp":
        return [damage(p).replace(NBSP, " ") for p in paragraphs]
    if mode == "latin1":
        return [damage(p, latin1=True) for p in paragraphs]
    if mode == "half":
        return [damage(p) if i % 2 == 0 else p for i, p in enumerate(paragraphs)]
    return list(paragraphs)


def write_lines(path, lines, limit):
    data = "".join(line + "\n" for line in lines).encode()
    path.write_bytes(data[:data.rfind(b"\n", 0, limit + 1) + 1])


def make(folder, mib, modes):
    folder.mkdir(parents=True, exist_ok=True)
    limit = int(mib * 1024 * 1024)
    paragraphs = sound_text(limit)
    write_lines(folder / "sound.txt", paragraphs, limit)
    for mode in modes or MODES:
        write_lines(folder / f"{mode}.txt", damaged(paragraphs, mode), limit)


def score(folder, mode, repaired_path):
    repaired = repaired_path.read_bytes().decode("utf-8", "replace").split("\n")
    # Files are cut at a whole line: compare the paragraphs the repaired file holds.
    sound = (folder / "sound.txt").read_text("utf-8").split("\n")[:len(repaired) - 1] + [""]
    hurt = mode != "clean"
    damaged_total = restored = correct_changed = 0
    for i, (s, r) in enumerate(zip(sound, repaired)):
        is_damaged = [hurt and (mode != "half" or i % 2 == 0) and ord(c) >= 0x80 for c in s]
        kept = [False] * len(s)
        if s == r:
            kept = [True] * len(s)
        else:
            for block in difflib.SequenceMatcher(None, s, r, autojunk=False).get_matching_blocks():
                kept[block.a:block.a + block.size] = [True] * block.size
        damaged_total += sum(is_damaged)
        restored += sum(k for k, d in zip(kept, is_damaged) if d)
        correct_changed += sum(not k for k, d in zip(kept, is_damaged) if not d)
    share = 100.0 * restored / damaged_total if damaged_total else 100.0
    print(f"{mode:7} damaged characters {damaged_total:8}  restored {share:6.2f} %  "
          f"correct characters changed {correct_changed}")


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "make":
        make(pathlib.Path(sys.argv[2]), float(sys.argv[3]), sys.argv[4:])
    elif len(sys.argv) == 5 and sys.argv[1] == "score":
        score(pathlib.Path(sys.argv[2]), sys.argv[3], pathlib.Path(sys.argv[4]))
    else:
        sys.exit(__doc__)
