#!/usr/bin/env python3
"""Writes the seed corpus: damaged French text as UTF-16LE, and dense alphabet bytes."""
import pathlib

corpus = pathlib.Path(__file__).parent / "corpus"
corpus.mkdir(exist_ok=True)

french = "L'été à la plage, où le garçon mange une crème brûlée près du château. Voilà !"
damaged = french.encode("utf-8").decode("cp1252", errors="replace")
seeds = {
    "damaged_prose": damaged.encode("utf-16-le"),
    "correct_prose": french.encode("utf-16-le"),
    "lead_at_end": "voil\u00c3".encode("utf-16-le"),
    "lead_lead_follower": "\u00c3\u00c3\u00a9\u00c3\u00a0\u00c3 ".encode("utf-16-le"),
    "lone_surrogates": b"\x00\xd8\xc3\x00\xa9\x00\x00\xdc\x00\x00",
    "dense_alphabet": bytes(range(256)),
}
for name, data in seeds.items():
    (corpus / name).write_bytes(data)
