"""The texts of the program: every string literal of its sources that reads as words.

Adjacent literals are joined as the compiler joins them; escapes are decoded, \\xNN as a
Windows-1252 byte (the program's texts are Windows-1252 bytes), other literals as UTF-8.
Comments, #include lines, SQL text and the usage texts of --help are left out.
"""
import os
import re

SOURCE_FOLDERS = ("core", "data", "sender", "grid", "ui", "app")
# The options table and the usage texts made from it: how to call the program, never a
# failure.
USAGE_SOURCES = {os.path.join("app", "options.cpp")}

_TOKEN = re.compile(
    r'//[^\n]*|/\*.*?\*/|R"(?P<delim>[^(]*)\((?P<raw>.*?)\)(?P=delim)"'
    r"|(?:u8|u|U|L)?\"(?P<text>(?:[^\"\\\n]|\\.)*)\"|'(?:[^'\\\n]|\\.)*'|\n|[ \t\r]+|.",
    re.S,
)
_SQL = re.compile(
    r"^\W*(select|insert into|update \w+ set|delete from|create( unique| descending)* index|"
    r"grant|with lock|order by|where|from|join|and|or|sum|datediff|max|min|union)\b|"
    r"\b(select|delete) .* from \w|\b(rdb|mon)\$\w+ (from|where|in|=|<>|starting)\b",
    re.I,
)
_ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{1,2}|u[0-9A-Fa-f]{4}|[0-7]{1,3}|.)", re.S)
_SIMPLE = {"n": "\n", "r": "\r", "t": "\t", "0": "\0", "\\": "\\", '"': '"', "'": "'", "?": "?"}


def decode(body):
    """The characters of a literal's body."""
    out = bytearray()

    def flush_char(ch):
        out.extend(ch.encode("utf-8"))

    pos = 0
    for m in _ESCAPE.finditer(body):
        out.extend(body[pos : m.start()].encode("utf-8"))
        esc = m.group(1)
        if esc[0] == "x":
            out.append(int(esc[1:], 16))
        elif esc[0] == "u":
            flush_char(chr(int(esc[1:], 16)))
        elif esc in _SIMPLE:
            flush_char(_SIMPLE[esc])
        elif esc[0].isdigit():
            out.append(int(esc, 8))
        else:
            flush_char(esc)
        pos = m.end()
    out.extend(body[pos:].encode("utf-8"))
    raw = bytes(out)
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("cp1252", errors="replace")


def literals(path):
    """(line, text) of every literal of a source file, adjacent literals joined."""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        source = f.read()
    found = []
    line = 1
    current = None  # [line, text] of the literal being joined
    at_line_start = True
    skip_line = False
    for m in _TOKEN.finditer(source):
        token = m.group(0)
        if token == "\n":
            line += 1
            at_line_start = True
            skip_line = False
            continue
        if token.isspace():
            continue
        if at_line_start and token == "#":
            skip_line = True  # preprocessor lines: include names, not texts
        at_line_start = False
        if skip_line:
            continue
        if token.startswith("//") or token.startswith("/*"):
            line += token.count("\n")
            continue
        text = m.group("text")
        if text is None and m.group("raw") is not None:
            text = m.group("raw")
            line += token.count("\n")
        if text is not None:
            decoded = decode(text)
            if current is None:
                current = [line, decoded]
            else:
                current[1] += decoded
            continue
        if current is not None:
            found.append(tuple(current))
            current = None
    if current is not None:
        found.append(tuple(current))
    return found


def normalized(text):
    """`text` with its runs of blanks and line ends as one space, trimmed."""
    return re.sub(r"\s+", " ", text).strip()


def reads_as_words(text):
    """True for a text that a person reads: a word in lower case or two capitalised words,
    and a blank; and neither SQL, nor a name=value setting, nor a path or a file type."""
    lower_word = re.search(r"(?<![\w$])[a-záéíóúñ]{2,}\b", text)
    title_words = len(re.findall(r"(?<![\w$])[A-ZÁÉÍÓÚÑ][a-záéíóúñ]+\b", text)) >= 2
    if not (lower_word or title_words) or " " not in text.strip():
        return False
    if _SQL.search(text) or re.search(r"\w=\w|^/\w|^\w+/[\w-]+$", text):
        return False
    if re.search(r"[<>]\w|&\w+;|\bcharset=", text) and "<" in text:
        return False  # markup of an exported document
    return True


def is_usage(text):
    """Lines of a --help text: they say how to call the program, not what failed."""
    return text.startswith("usage: ") or bool(re.match(r"^ {2,}\S", text))


def program_texts(root):
    """(file, line, text) of every text of the program, normalized."""
    found = []
    for folder in SOURCE_FOLDERS:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                if rel in USAGE_SOURCES:
                    continue
                for line, text in literals(path):
                    if is_usage(text) or not reads_as_words(text):
                        continue
                    found.append((rel, line, normalized(text)))
    return found


if __name__ == "__main__":
    import sys

    for rel, line, text in program_texts(sys.argv[1] if len(sys.argv) > 1 else "."):
        print(f"{rel}:{line}: {text}")
