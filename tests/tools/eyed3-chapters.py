"""Prints the chapters of an MP3 file as eyeD3 reads them, a line each: the tables of contents
("toc ID top ordered CHILD,CHILD"), then each chapter ("ID START END START_OFFSET END_OFFSET
TITLE", offsets "-" when not given). Run by the eyeD3 program's own Python."""
import sys

import eyed3

tag = eyed3.load(sys.argv[1]).tag
for toc in tag.table_of_contents:
    children = b",".join(toc.child_ids).decode()
    print(f"toc {toc.element_id.decode()} {int(toc.toplevel)} {int(toc.ordered)} {children}")
for chapter in sorted(tag.chapters, key=lambda c: c.times.start):
    offsets = ["-" if o is None else str(o) for o in chapter.offsets]
    print(chapter.element_id.decode(), chapter.times.start, chapter.times.end, *offsets,
          chapter.title or "")
