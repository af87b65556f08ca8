#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Corpus and score of the full repair (orvik-repair --full).

  full_corpus.py make DIR MIB [MODE...] writes DIR/sound.txt and DIR/MODE.txt for each MODE (all
                                       by default), each cut to at most MIB MiB of whole lines
  full_corpus.py score DIR MODE OUT    scores OUT, the repair of DIR/MODE.txt, against the sound
                                       text, in all and for each kind of text

The sound text is drawn at random (fixed seed), one paragraph a line. About half of it is French prose
from words weighted by how often they occur, with what damage hurts most: typographic
apostrophes, « » and the no-break spaces around them and before : ; ! ?, narrow no-break spaces,
capitals (É À Ç Î Œ), œ, €, …, – and ë ï ü. The other half is, in turn, prose in Spanish, Italian,
Portuguese, Czech, Polish, German, Finnish, Turkish, Vietnamese, Romanian, Greek and Russian, and
French in a CSV row, an email and code comments, some with emoji. The modes:

  once      UTF-8 read as Windows-1252 (its five undefined bytes as C1 controls)
  twice     the same damage applied twice
  nbsp      once, then every no-break space turned into a plain space (those of the text, and the
            A0 bytes of damaged characters: "Ã " for à, "Å " for Š, "Ð " for Р, "â‰ " for ≠)
  nbsp2     twice, then every no-break space turned into a plain space
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

MODES = ("once", "twice", "nbsp", "nbsp2", "latin1", "half", "clean")
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

# Prose in other languages: its words, and how its sentences end.
LANGUAGES = {
    "es": ("el la de que y en los se del las un por con no una su para es al lo como más pero "
           "sus le ya o año señor niño mañana también está así después país según aquí todavía "
           "ciudad corazón jamón pequeño español información canción árbol último rápido", ".!?"),
    "it": ("il di che la e è per un non in una sono mi ho lo ma ha le si con cosa perché più "
           "città però già così lì là può università società libertà caffè virtù papà tè "
           "andrò sarà venerdì", ".!?"),
    "pt": ("de a o que e do da em um para é com não uma os no se na por mais as dos como mas foi "
           "ao ele das tem à seu sua ou ser quando muito há nos já está também só pelo pela até "
           "isso ela entre era depois sem mesmo aos ter seus quem nas me esse eles você essa "
           "irmã mãe pão ação coração informação são então até lá", ".!?"),
    "cs": ("a se na je že to v o s z do ale jsem by jak jeho pro tak když jako jen už byl bylo "
           "který která které ještě před při také může mezi řeka příliš žluťoučký kůň úpěl "
           "ďábelské ódy čeština město život člověk dítě škola večer", ".!?"),
    "pl": ("i w nie na się z że do to jest jak ale co po tak o od za czy już tylko jego jej "
           "był była było może będzie także więc żeby gdzie kiedy który która które źródło "
           "jaźń gęślą zażółć miłość książka dzień życie człowiek", ".!?"),
    "de": ("der die und in den von zu das mit sich des auf für ist im dem nicht ein eine als "
           "auch es an werden aus er hat dass sie nach wird bei einer um am sind noch wie "
           "über größe schön müssen können würde für Straße Mädchen Äpfel Öl übermäßig "
           "Grüße Tür Brücke", ".!?"),
    "fi": ("ja on ei se että hän oli ovat mutta kun niin myös tai jos sen hänen joka kuin "
           "mitä päivä äiti isä yö työ käsi kylä järvi sää hyvää kiitos jäätelö sydän "
           "ystävä kesä talvi", ".!?"),
    "tr": ("bir ve bu da de için ile ne çok daha gibi olarak kadar sonra ama ancak şey her "
           "yıl gün iş büyük küçük güzel çocuk öğretmen ağaç göl şehir Erdoğan hırsız "
           "ılık ışık değil için", ".!?"),
    "vi": ("và của là có không người những được một trong cho các với này đã để khi đến "
           "nhưng như từ cũng về sẽ đó năm nhiều Việt Nam tiếng Hà Nội Sài Gòn nước bạn "
           "mình học sinh", ".!?"),
    "ro": ("și în de la cu a pe nu că o se mai din este ca un sunt care pentru dar fi acest "
           "această țară școală împreună câmp mâine față oraș băiat fată", ".!?"),
    "el": ("και το να του η της με που την από για τα είναι θα δεν στο ένα τον μια ότι στην "
           "των σε αλλά ή όπως πολύ μετά Ελλάδα Αθήνα σπίτι", ".!;"),
    "ru": ("и в не на я быть он с что а по это она этот к но они мы как из у который то "
           "за свой весь год от так о для ты же все тот Москва Рим город", ".!?"),
}
EMOJI = "😀 👍 🎉 ❤️ 🚀 😉".split()


def french_sentences(rng, words):
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
    return " ".join(sentences)


def other_sentences(rng, vocabulary, ends):
    words = vocabulary.split()
    sentences = []
    for _ in range(rng.randint(2, 5)):
        parts = [rng.choice(words) for _ in range(rng.randint(4, 14))]
        parts[0] = parts[0][:1].upper() + parts[0][1:]
        if rng.random() < 0.1:
            parts.append(rng.choice(EMOJI))
        sentences.append(" ".join(parts) + rng.choice(ends))
    return " ".join(sentences)


def special_line(rng, kind, words):
    if kind == "csv":
        return (f"{rng.randint(1, 9999)};{rng.choice(OPENERS)};{rng.choice(words)};"
                f"{rng.randint(1, 99)}{NNBSP}{rng.randint(100, 999)},{rng.randint(10, 99)}{NBSP}€;"
                f"« {rng.choice(words)} »")
    if kind == "email":
        return (f"Objet{NBSP}: Re: {rng.choice(words)} {rng.choice(words)} — "
                f"Bonjour Élodie, merci pour l’envoi {rng.choice(EMOJI)} À très bientôt.")
    return (f"    if (état == {rng.randint(0, 9)}) {{ // vérifie l’entrée : "
            f"{rng.choice(words)} {rng.choice(words)}, déjà reçu")


# An odd number of kinds, so that "half" damages each kind in turn.
KINDS = ["fr"] * 16 + list(LANGUAGES) + ["csv", "email", "code"]


def sound_text(size, seed=20261206):
    """The paragraphs and the kind of each."""
    rng = random.Random(seed)
    pairs = WORDS.split()
    words = [w for w, n in zip(pairs[::2], pairs[1::2]) for _ in range(int(n))]
    out, kinds, total = [], [], 0
    while total < size:
        kind = KINDS[len(out) % len(KINDS)]
        if kind == "fr":
            paragraph = french_sentences(rng, words)
        elif kind in LANGUAGES:
            paragraph = other_sentences(rng, *LANGUAGES[kind])
        else:
            paragraph = special_line(rng, kind, words)
        out.append(paragraph)
        kinds.append(kind)
        total += len(paragraph.encode()) + 1
    return out, kinds


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
    if mode == "nbsp2":
        return [damage(damage(p)).replace(NBSP, " ") for p in paragraphs]
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
    paragraphs, _ = sound_text(limit)
    write_lines(folder / "sound.txt", paragraphs, limit)
    for mode in modes or MODES:
        write_lines(folder / f"{mode}.txt", damaged(paragraphs, mode), limit)


def score(folder, mode, repaired_path):
    repaired = repaired_path.read_bytes().decode("utf-8", "replace").split("\n")
    # Files are cut at a whole line: compare the paragraphs the repaired file holds.
    sound = (folder / "sound.txt").read_text("utf-8").split("\n")[:len(repaired) - 1] + [""]
    _, kinds = sound_text(sum(len(s.encode()) + 1 for s in sound))
    hurt = mode != "clean"
    counts = {}  # kind: [damaged, restored, correct changed]
    for i, (s, r) in enumerate(zip(sound, repaired)):
        is_damaged = [hurt and (mode != "half" or i % 2 == 0) and ord(c) >= 0x80 for c in s]
        kept = [True] * len(s)
        if s != r:
            kept = [False] * len(s)
            for block in difflib.SequenceMatcher(None, s, r, autojunk=False).get_matching_blocks():
                kept[block.a:block.a + block.size] = [True] * block.size
        count = counts.setdefault(kinds[i] if i < len(kinds) else "fr", [0, 0, 0])
        count[0] += sum(is_damaged)
        count[1] += sum(k for k, d in zip(kept, is_damaged) if d)
        count[2] += sum(not k for k, d in zip(kept, is_damaged) if not d)

    def line(name, damaged_total, restored, changed):
        share = 100.0 * restored / damaged_total if damaged_total else 100.0
        return (f"{name:7} damaged characters {damaged_total:8}  restored {share:6.2f} %  "
                f"correct characters changed {changed}")

    print(line(mode, *(sum(c[k] for c in counts.values()) for k in range(3))))
    worst = [kind for kind, c in counts.items() if c[2] or c[1] < c[0]]
    for kind in sorted(worst, key=lambda k: counts[k][1] / max(counts[k][0], 1)):
        print("  " + line(kind, *counts[kind]))


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "make":
        make(pathlib.Path(sys.argv[2]), float(sys.argv[3]), sys.argv[4:])
    elif len(sys.argv) == 5 and sys.argv[1] == "score":
        score(pathlib.Path(sys.argv[2]), sys.argv[3], pathlib.Path(sys.argv[4]))
    else:
        sys.exit(__doc__)
