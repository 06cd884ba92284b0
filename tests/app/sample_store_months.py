#!/usr/bin/env python3
"""What each month of the sample store carries, read back with xml.etree: PDV1's
gap, PDV2's voided range, PDV3's contingency invoice without authorisation,
PDV4's invoice of the previous month, cancellations of authorised invoices of
the month, the production environment and right check digits throughout.

Usage: sample_store_months.py MAKE_SAMPLE_STORE
"""
import glob
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

N = "{http://www.portalfiscal.inf.br/nfe}"
SHARES = {1: "CAIXA01/Kelmora", 2: "CAIXA02/KELMORA", 3: "CAIXA03/Kelmora", 4: "CAIXA04/Kelmora"}


def digit(key43):
    r = sum(int(d) * (2 + i % 8) for i, d in enumerate(reversed(key43))) % 11
    return "0" if r < 2 else str(11 - r)


def month(root, pdv, folder):
    """number -> (key, protNFe cStat or None, tpEmis, root) of the invoices, and the Canceladas documents."""
    base = os.path.join(root, "unc", SHARES[pdv], "PDV", "NFCE")
    invoices = {}
    for path in glob.glob(os.path.join(base, "Transmitidas", folder, "*")):
        doc = ET.parse(path).getroot()
        key = doc.find(f".//{N}infNFe").get("Id")[3:]
        assert key[43] == digit(key[:43]) and os.path.basename(path).startswith(key), path
        assert {e.text for e in doc.iter(N + "tpAmb")} == {"1"}, path
        invoices[int(key[25:34])] = (key, doc.findtext(f"{N}protNFe/{N}infProt/{N}cStat"), doc.findtext(f".//{N}tpEmis"), doc)
    return invoices, [ET.parse(p).getroot() for p in glob.glob(os.path.join(base, "Canceladas", folder, "*"))]


def gap(invoices):
    return sorted(set(range(min(invoices), max(invoices) + 1)) - set(invoices))


with tempfile.TemporaryDirectory(prefix="orvant-sample-") as root:
    subprocess.run([sys.executable, sys.argv[1], root, "--month", "2021-02", "--month", "2021-03", "--scale", "0.25"],
                   check=True, capture_output=True)
    got = {pdv: month(root, pdv, "202103") for pdv in SHARES}
    this = {pdv: {n: v for n, v in inv.items() if v[0][2:6] == "2103"} for pdv, (inv, _) in got.items()}
    assert len(gap(this[1])) == 2 and gap(this[1])[1] == gap(this[1])[0] + 1, gap(this[1])
    assert not gap(this[3]) and not gap(this[4])

    voided = [d for d in got[2][1] if d.tag == N + "procInutNFe"]
    assert len(voided) == 1 and len(got[2][1]) == 2, "PDV2: one voided range beside one cancellation"
    asked, answer = voided[0].find(f"{N}inutNFe/{N}infInut"), voided[0].find(f"{N}retInutNFe/{N}infInut")
    f = {name: asked.findtext(N + name) for name in ("cUF", "ano", "CNPJ", "mod", "serie", "nNFIni", "nNFFin")}
    assert gap(this[2]) == list(range(int(f["nNFIni"]), int(f["nNFFin"]) + 1)) and len(gap(this[2])) == 3
    assert asked.get("Id") == "ID{cUF}{ano}{CNPJ}{mod}".format(**f) + f["serie"].zfill(3) + f["nNFIni"].zfill(9) \
        + f["nNFFin"].zfill(9)
    assert answer.findtext(N + "cStat") == "102" and all(answer.findtext(N + k) == v for k, v in f.items())

    pending = [n for n, v in this[3].items() if v[1] is None]
    assert pending == [max(this[3])] and this[3][pending[0]][2] == "9" and this[3][pending[0]][0][34] == "9"
    contingency = this[3][pending[0]][3]
    assert contingency.tag == N + "NFe" and contingency.find(f".//{N}ide/{N}dhCont") is not None
    assert all(v[1] == "100" for n, v in this[3].items() if n not in pending)

    late = [n for n, v in got[4][0].items() if n not in this[4]]
    assert late == [min(this[4]) - 1] == [max(month(root, 4, "202102")[0]) + 1] and got[4][0][late[0]][0][2:6] == "2102"

    for pdv, (_, documents) in got.items():
        authorised = {v[0] for v in this[pdv].values() if v[1] == "100"}
        for event in (d for d in documents if d.tag == N + "procEventoNFe"):
            assert event.findtext(f"{N}evento/{N}infEvento/{N}chNFe") in authorised, f"PDV{pdv}"
            assert event.findtext(f".//{N}tpEvento") == "110111" and event.findtext(f"{N}retEvento//{N}cStat") == "135"
print("ok")
