"""Every failure text of the program has its row in the guide's message tables.

The texts come from the sources themselves (programtexts.py): every string literal that
reads as words. Each must appear in a row of the "Mensaje" tables of docs/guia.md (the
texts shown in its first cell, the server's wordings that the program recognises beside
them), or stand
in tests/docs/not-failure-texts.txt when it reports no failure (a caption, a status line,
a usage text). A text that a change of the program adds or rewords therefore fails this
test until the guide says what it means and what to do about it. The opposite holds too:
a row or a listed text that no text of the program matches any more is reported, so that
the guide does not keep rows for messages the program no longer gives.

    python3 tests/docs/guide_messages_test.py [SOURCE_ROOT]
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from programtexts import normalized, program_texts  # noqa: E402

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), "..", ".."))
GUIDE = os.path.join(ROOT, "docs", "guia.md")
NOT_FAILURES = os.path.join(ROOT, "tests", "docs", "not-failure-texts.txt")


def comparable(text):
    """`text` as rows and texts are compared: without backticks, blanks folded, without the
    quotes, brackets and separators that join it to the pieces around it, in lower case."""
    text = normalized(text.replace("`", ""))
    return text.strip(" '\"(),;:.").casefold()


def message_rows(guide_text):
    """(line, row) of every row of a table whose first title is "Mensaje"."""
    rows = []
    in_table = False
    for number, line in enumerate(guide_text.split("\n"), start=1):
        stripped = line.strip()
        if not stripped.startswith("|"):
            in_table = False
            continue
        first = stripped.strip("|").split("|")[0].strip()
        if first == "Mensaje":
            in_table = True
            continue
        if in_table and not re.fullmatch(r"[|\-: ]+", stripped):
            rows.append((number, stripped))
    return rows


def found_in(key, text):
    """True when every piece of `key` between its placeholders (%1, %s...) stands in `text`
    as whole words."""
    pieces = [p.strip(" '\"(),;:.") for p in re.split(r"%\d|%[sd]", key)]
    return all(re.search(r"(?<!\w)" + re.escape(p) + r"(?!\w)", text)
               for p in pieces if re.search(r"[^\W\d_]{2,}", p))


def first_cell(row):
    """The first cell of a table row; a | inside `code` belongs to the cell."""
    cell, in_code = "", False
    for ch in row.strip()[1:]:
        if ch == "`":
            in_code = not in_code
        if ch == "|" and not in_code:
            break
        cell += ch
    return cell


def main():
    with open(GUIDE, encoding="utf-8") as f:
        rows = message_rows(f.read())
    # The texts shown stand in a row's first cell; the server's wordings that the program
    # recognises may stand in the rest of the row. A row counts as used when a text of the
    # program stands in its first cell.
    firsts = [comparable(first_cell(row)) for _, row in rows]
    wholes = [comparable(row) for _, row in rows]
    with open(NOT_FAILURES, encoding="utf-8") as f:
        listed = [line.rstrip("\n") for line in f]
    not_failures = {comparable(t) for t in listed if t.strip() and not t.startswith("#")}

    texts = program_texts(ROOT)
    missing, covered, used_rows, used_listed = [], set(), set(), set()
    for path, line, text in texts:
        key = comparable(text)
        if not re.search(r"[^\W\d_]{2,}", key):
            continue  # punctuation and placeholders around other pieces
        if key in not_failures:
            used_listed.add(key)
            continue
        hits = [n for n, cell in enumerate(firsts) if found_in(key, cell)]
        if hits or any(found_in(key, row) for row in wholes):
            covered.add(key)
            used_rows.update(hits)
        else:
            missing.append(f"  {path}:{line}: {text}")

    problems = []
    if missing:
        problems.append(
            f"{len(missing)} text(s) of the program have no row in the message tables of "
            "docs/guia.md (| Mensaje | Qué significa | Qué hacer | Quién |). Add a row for "
            "each failure text; a text that reports no failure (a caption, a status, a usage "
            "line) goes into tests/docs/not-failure-texts.txt instead:\n" + "\n".join(missing))
    unused_rows = [f"  docs/guia.md:{rows[n][0]}: {rows[n][1][:160]}"
                   for n in range(len(rows)) if n not in used_rows]
    if unused_rows:
        problems.append(
            f"{len(unused_rows)} row(s) of docs/guia.md quote no text of the program any more "
            "in their first cell (reworded or gone): update or remove them:\n" + "\n".join(unused_rows))
    stale = sorted(t for t in listed if t.strip() and not t.startswith("#")
                   and comparable(t) not in used_listed)
    if stale:
        problems.append(
            f"{len(stale)} line(s) of tests/docs/not-failure-texts.txt match no text of the "
            "program any more: remove them:\n" + "\n".join("  " + t for t in stale))
    if problems:
        print("\n\n".join(problems), file=sys.stderr)
        return 1
    quoted = sum(len(re.findall(r"`[^`]+`", first_cell(row))) for _, row in rows)
    print(f"docs/guia.md: {len(rows)} rows quote {quoted} messages and cover the "
          f"{len(covered)} failure texts of the program's sources")
    return 0


if __name__ == "__main__":
    sys.exit(main())
