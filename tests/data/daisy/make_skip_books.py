#!/usr/bin/env python3
"""Writes the two small DAISY books with skippable structures that the
stories and unit tests of skipping and the heading list read:

    tests/data/daisy/make_skip_books.py [OUT]     (OUT: tests/e2e/fixtures)

  daisy3_skip/   DAISY 3, text only: page numbers, a note reference, a note,
                 a two-part sidebar and a producer's note marked with
                 customTest (ids of the producer's own, mapped to the
                 structures by bookStruct in each SMIL's head), headings
                 in the NCX, pages in its pageList. Full clock values.
  daisy202_skip/ DAISY 2.02 with audio: page numbers, a note reference and
                 a note marked by class on the par or only on its text, a
                 sidebar by system-required; "npt=" clock values, another
                 attribute order and id scheme. Each SMIL's audio is one
                 small MP3 of 0.4 s tones per clip (sox and ffmpeg, at
                 generation time only).
"""
import os
import subprocess
import sys
import tempfile

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e", "fixtures")


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


# ---- DAISY 3 ---------------------------------------------------------------

D3_TEXT = [  # id, element, text
    ("h1", "h1", "Chapter One"),
    ("t1", "p", "The river starts in the hills."),
    ("pg2", "pagenum", "Page 2"),
    ("t2", "p", "It runs past the old mill."),
    ("nr1", "noteref", "Note reference 1"),
    ("n1", "note", "Note 1 says the mill is old."),
    ("sb1", "sidebar", "Sidebar about fishing."),
    ("sb2", "sidebar", "Fishing needs a permit."),
    ("pn1", "prodnote", "Producer note on the map."),
    ("t3", "p", "At last the river reaches the sea."),
    ("h2", "h2", "A Smaller Stream"),
    ("t4", "p", "A brook joins it from the east."),
    ("h3", "h1", "Chapter Two"),
    ("pg3", "pagenum", "Page 3"),
    ("t5", "p", "Boats wait in the harbour."),
]

D3_HEAD = """<head>
<meta name="dtb:uid" content="skip-test-3"/>
<meta name="dtb:totalElapsedTime" content="0:00:00.000"/>
<customAttributes>
<customTest id="ct-pg" defaultState="false" override="visible" bookStruct="PAGE_NUMBER"/>
<customTest id="ct-nr" defaultState="false" override="visible" bookStruct="NOTE_REFERENCE"/>
<customTest id="ct-note" defaultState="false" override="visible" bookStruct="NOTE"/>
<customTest id="ct-sb" defaultState="false" override="visible" bookStruct="OPTIONAL_SIDEBAR"/>
<customTest id="ct-pn" defaultState="false" override="visible" bookStruct="OPTIONAL_PRODUCER_NOTE"/>
</customAttributes>
</head>"""


def d3_par(n, ref, test=None):
    attr = f' customTest="{test}"' if test else ""
    return f'<par id="par{n:04d}"{attr}><text id="txt{n:04d}" src="book.xml#{ref}"/></par>'


def daisy3(root):
    body = "\n".join(f'<{el} id="{i}">{t}</{el}>' for i, el, t in D3_TEXT)
    write(f"{root}/book.xml", '<?xml version="1.0" encoding="utf-8"?>\n'
          f"<dtbook><book><bodymatter>\n{body}\n</bodymatter></book></dtbook>\n")
    s1 = [d3_par(1, "h1"), d3_par(2, "t1"), d3_par(3, "pg2", "ct-pg"), d3_par(4, "t2"),
          d3_par(5, "nr1", "ct-nr"),
          '<seq id="seq0006" customTest="ct-note">' + d3_par(6, "n1") + "</seq>",
          '<seq id="seq0007" customTest="ct-sb">' + d3_par(7, "sb1") + d3_par(8, "sb2") + "</seq>",
          d3_par(9, "pn1", "ct-pn"), d3_par(10, "t3"), d3_par(11, "h2"), d3_par(12, "t4")]
    s2 = [d3_par(13, "h3"), d3_par(14, "pg3", "ct-pg"), d3_par(15, "t5")]
    for name, pars in (("s1", s1), ("s2", s2)):
        write(f"{root}/{name}.smil", '<?xml version="1.0" encoding="utf-8"?>\n'
              '<smil xmlns="http://www.w3.org/2001/SMIL20/">\n' + D3_HEAD +
              '\n<body><seq id="root">\n' + "\n".join(pars) + "\n</seq></body></smil>\n")

    def point(label, src, inner=""):
        return (f"<navPoint><navLabel><text>{label}</text></navLabel>"
                f'<content src="{src}"/>{inner}</navPoint>')
    nav = point("Chapter One", "s1.smil#par0001", point("A Smaller Stream", "s1.smil#par0011"))
    nav += point("Chapter Two", "s2.smil#par0013")
    pages = "".join(f'<pageTarget type="normal"><navLabel><text>{n}</text></navLabel>'
                    f'<content src="{src}"/></pageTarget>'
                    for n, src in (("2", "s1.smil#par0003"), ("3", "s2.smil#par0014")))
    write(f"{root}/book.ncx", '<?xml version="1.0" encoding="utf-8"?>\n'
          f"<ncx><navMap>{nav}</navMap><pageList>{pages}</pageList></ncx>\n")
    write(f"{root}/book.opf", """<?xml version="1.0" encoding="utf-8"?>
<package><metadata><dc-metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:Title>River Book</dc:Title>
<dc:Creator>Skip Tester</dc:Creator></dc-metadata></metadata>
<manifest>
<item id="s1" href="s1.smil" media-type="application/smil"/>
<item id="s2" href="s2.smil" media-type="application/smil"/>
<item id="ncx" href="book.ncx" media-type="application/x-dtbncx+xml"/>
<item id="text" href="book.xml" media-type="application/x-dtbook+xml"/>
</manifest>
<spine><itemref idref="s1"/><itemref idref="s2"/></spine></package>
""")


# ---- DAISY 2.02 --------------------------------------------------------------

# Per SMIL: (text id, text, par attributes, text attributes); one clip each.
D202 = {
    "intro": [("i1", "Introduction", "", ""), ("i2", "1", ' class="pagenum"', ""),
              ("i3", "Gardens need patience.", "", ""), ("i4", "See note 1", "", ' class="noteref"'),
              ("i5", "Note 1: patience means years.", ' class="note"', ""), ("i6", "Start small.", "", "")],
    "garden": [("g1", "The Garden", "", ""), ("g2", "Walls keep the wind out.", "", ""),
               ("g3", "Sidebar: old walls.", ' system-required="sidebar-on"', ""), ("g4", "Roses", "", ""),
               ("g5", "2", ' class="pagenum"', ""), ("g6", "Roses like the sun.", "", "")],
}
NCC_ITEMS = [  # element, class, label, smil#par
    ("h1", None, "Introduction", "intro.smil#rgn_par_i1"),
    ("span", "page-normal", "1", "intro.smil#rgn_par_i2"),
    ("h1", None, "The Garden", "garden.smil#rgn_par_g1"),
    ("h2", None, "Roses", "garden.smil#rgn_par_g4"),
    ("span", "page-normal", "2", "garden.smil#rgn_par_g5"),
]
CLIP_MS = 400


def npt(ms):
    return f"npt={ms / 1000:.3f}s"


def tones(path, count):
    """count clips of CLIP_MS each, a different pitch per clip, as a small MP3."""
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "a.wav")
        parts = []
        for k in range(count):
            part = os.path.join(tmp, f"{k}.wav")
            subprocess.run(["sox", "-n", "-r", "16000", "-c", "1", "-b", "16", part, "synth",
                            str(CLIP_MS / 1000), "sine", str(300 + 100 * k), "vol", "0.3"], check=True)
            parts.append(part)
        subprocess.run(["sox", *parts, wav], check=True)
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", wav, "-ac", "1", "-ar", "16000",
                        "-b:a", "24k", path], check=True)


def daisy202(root):
    html = []
    for name, items in D202.items():
        pars = []
        for k, (tid, text, par_attr, text_attr) in enumerate(items):
            html.append(f'<p id="{tid}">{text}</p>')
            pars.append(f'<par endsync="last" id="rgn_par_{tid}"{par_attr}>'
                        f'<text src="content.html#{tid}" id="rgn_txt_{tid}"{text_attr}/>'
                        f'<audio src="{name}.mp3" clip-begin="{npt(k * CLIP_MS)}" '
                        f'clip-end="{npt((k + 1) * CLIP_MS)}" id="rgn_aud_{tid}"/></par>')
        total = len(items) * CLIP_MS
        write(f"{root}/{name}.smil", f"""<?xml version="1.0" encoding="iso-8859-1"?>
<!DOCTYPE smil PUBLIC "-//W3C//DTD SMIL 1.0//EN" "http://www.w3.org/TR/REC-smil/SMIL10.dtd">
<smil><head><meta name="dc:format" content="Daisy 2.02"/>
<meta name="ncc:timeInThisSmil" content="{npt(total)}"/>
<layout><region id="txtView"/></layout></head>
<body><seq dur="{npt(total)}">
""" + "\n".join(pars) + "\n</seq></body></smil>\n")
        tones(f"{root}/{name}.mp3", len(items))
    write(f"{root}/content.html", '<?xml version="1.0" encoding="utf-8"?>\n'
          "<html><head><title>Small Garden</title></head><body>\n" + "\n".join(html) + "\n</body></html>\n")
    items = []
    for k, (el, cls, label, href) in enumerate(NCC_ITEMS):
        attr = f' class="{cls}"' if cls else ""
        items.append(f'<{el} id="nav{k + 1}"{attr}><a href="{href}">{label}</a></{el}>')
    metas = {"dc:title": "Small Garden", "dc:creator": "Skip Tester", "dc:format": "Daisy 2.02",
             "ncc:multimediaType": "audioFullText"}
    head = "".join(f'<meta name="{k}" content="{v}"/>' for k, v in metas.items())
    write(f"{root}/ncc.html", '<?xml version="1.0" encoding="utf-8"?>\n'
          f"<html><head><title>Small Garden</title>{head}</head><body>\n" + "\n".join(items) + "\n</body></html>\n")


if __name__ == "__main__":
    daisy3(os.path.join(OUT, "daisy3_skip"))
    daisy202(os.path.join(OUT, "daisy202_skip"))
