#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the seed corpora: for fuzz_repair, damaged French text as UTF-16LE and dense alphabet
bytes; for fuzz_utf8_repair, a byte that spaces the cuts followed by UTF-8 text, damaged or not;
for fuzz_full_repair, UTF-8 text damaged in the ways the full repair undoes, and its hard cases."""
import pathlib

here = pathlib.Path(__file__).parent
french = "L'été à la plage, où le garçon mange une crème brûlée près du château. Voilà !"
damaged = french.encode("utf-8").decode("cp1252", errors="replace")

seeds = {
    "repair": {
        "damaged_prose": damaged.encode("utf-16-le"),
        "correct_prose": french.encode("utf-16-le"),
        "lead_at_end": "voil\u00c3".encode("utf-16-le"),
        "lead_lead_follower": "\u00c3\u00c3\u00a9\u00c3\u00a0\u00c3 ".encode("utf-16-le"),
        "lone_surrogates": b"\x00\xd8\xc3\x00\xa9\x00\x00\xdc\x00\x00",
        "dense_alphabet": bytes(range(256)),
    },
    "utf8_repair": {
        "damaged_prose_cut_every_byte": b"\x00" + damaged.encode("utf-8") * 3,
        "damaged_prose_cut_at_random": b"\x25" + damaged.encode("utf-8") * 3,
        "correct_prose": b"\x07" + french.encode("utf-8"),
        "invalid_bytes_after_leads": b"\x03\xc3\x83\xff\xc3\x83\xc2\x41\xc3\x83\xc2\xc3\x83\xc2"
        b"\xa9\xe0\x83\x83\xc2\xa9\xc3\x83\xc2",
        "dense_alphabet": bytes(range(256)),
    },
}


# The full repair's target reads UTF-8 bytes: damaged text once, twice and as Latin-1, the rules'
# hard cases, and bytes that are not UTF-8.
def damage(text, latin1=False):
    return "".join(chr(b) if latin1 or not 0x80 <= b <= 0x9F or b in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
                   else bytes([b]).decode("cp1252") for b in text.encode("utf-8"))

prose = "« L’été », dit-elle\u00a0: ÇA ÉTAIT déjà là… Noël, cœur, 5\u00a0€ ?\r\n"
seeds["full_repair"] = {
    "once": damage(prose).encode(),
    "twice": damage(damage(prose)).encode(),
    "latin1": damage(prose, latin1=True).encode(),
    "no_break_spaces_lost": damage(prose).replace("\u00a0", " ").encode(),
    "lone_leads": "voilÃ  tout, voilÃ. SÃO IRMÃ E Â c, prixÂ ! ÃÃ© voilÃ".encode(),
    "rare_sequences": "la lettre Ð¯ seule, ÐŸÑ€Ð¸Ð²ÐµÑ‚ â€ : fin â€".encode(),
    "invalid_bytes": b"\xef\xbb\xbf\xc3\r\n\xff\x00\xc3\x83\xc2\xa9\xe2\x82\xed\xa0\x80\xf4\x90",
    "short_text": b"\x10\x00\x00\x00",
    "languages_once": damage("Příliš žluťoučký kůň, Gdańsk, Erdoğan, İstanbul, și țara, Tiếng Việt, "
                             "PŘÍŠTÍ NÍŽE, Rīga, ﬁn, XIXᵉ, 3 ≠ 4, Рим, e\u0301tait").encode(),
    "sound_languages": "«\u00a0Allô…\u00a0» ¡ASÍ…! UMA MÃ NOTÍCIA, LÃ E, SELKÄ\u00a0EDELLÄ, AHÅ™, "
                       "pra lá´´, «¡Ya está»…» y, une Å koda, ï»¿".encode(),
}

for target, files in seeds.items():
    folder = here / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)
