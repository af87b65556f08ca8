#!/usr/bin/env python3
"""Writes the seed corpora: for fuzz_repair, damaged French text as UTF-16LE and dense alphabet
bytes; for fuzz_utf8_repair, a byte that spaces the cuts followed by UTF-8 text, damaged or not."""
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
for target, files in seeds.items():
    folder = here / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)
