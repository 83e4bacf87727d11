#!/usr/bin/env python3
"""Writes the archives' user's guide: README.md's first section, as plain text.

    packaging/user_guide.py README.md OUTPUT lf|crlf

The section is what lies between a line "<!-- user-guide -->" and a line
"<!-- /user-guide -->". Markdown is taken out the way a reader would: a heading becomes its plain
line, a link its text (an address on the web stays, in angle brackets, since there is nothing
else to follow), an image goes, and so do emphasis, code marks and table rules. The zip's guide
has CRLF line ends, as Windows' own text files have.
"""
import re
import sys

OPEN, CLOSE = "<!-- user-guide -->", "<!-- /user-guide -->"


def section(lines):
    stripped = [line.strip() for line in lines]
    if stripped.count(OPEN) != 1 or stripped.count(CLOSE) != 1:
        sys.exit(f"user_guide.py: expected one line {OPEN} and one line {CLOSE} in the README")
    first, last = stripped.index(OPEN), stripped.index(CLOSE)
    if last <= first + 1:
        sys.exit(f"user_guide.py: nothing between {OPEN} and {CLOSE}")
    return lines[first + 1:last]


def inline(text):
    text = re.sub(r"<!--.*?-->", "", text)
    # Images, linked ones too, go: the guide has no pictures.
    text = re.sub(r"\[!\[[^\]]*\]\([^)]*\)\]\([^)]*\)", "", text)
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)

    def link(match):
        words, target = match.group(1), match.group(2).split()[0] if match.group(2).split() else ""
        if re.match(r"https?://", target) and target != words:
            return f"{words} <{target}>"
        return words

    text = re.sub(r"\[([^\]]+)\]\(([^)]*)\)", link, text)
    text = re.sub(r"\[([^\]]+)\]\[[^\]]*\]", r"\1", text)  # [words][reference]
    text = re.sub(r"<(https?://[^>]+)>", r"<\1>", text)
    text = re.sub(r"</?(kbd|b|i|em|strong|code|sup|sub)>", "", text)
    text = re.sub(r"<br\s*/?>", "", text)
    text = re.sub(r"`([^`]*)`", r"\1", text)
    text = re.sub(r"\*\*(.+?)\*\*|__(.+?)__", lambda m: m.group(1) or m.group(2), text)
    text = re.sub(r"(?<![\w*])\*(?!\s)(.+?)(?<!\s)\*(?![\w*])", r"\1", text)
    return re.sub(r"\\([\\`*_{}\[\]()#+\-.!|<>])", r"\1", text)


def plain(lines):
    out, fenced = [], False
    for line in lines:
        line = line.rstrip()
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            out.append("    " + line)
            continue
        if re.fullmatch(r"\s*\[[^\]]+\]:\s*\S+.*", line):  # a reference's address
            continue
        heading = re.fullmatch(r"#{1,6}\s+(.*?)\s*#*", line)
        if heading:
            out.append(inline(heading.group(1)))
            continue
        if re.fullmatch(r"\s*\|?\s*:?-{3,}:?\s*(\|\s*:?-{3,}:?\s*)*\|?\s*", line):  # a table's rule
            continue
        if line.lstrip().startswith("|"):
            cells = [inline(cell.strip()) for cell in line.strip().strip("|").split("|")]
            out.append("  ".join(cells).rstrip())
            continue
        if re.fullmatch(r"\s*(-{3,}|\*{3,}|_{3,})\s*", line):
            continue
        out.append(inline(line).rstrip())
    text = "\n".join(out)
    text = re.sub(r"\n{3,}", "\n\n", text).strip("\n")
    return text + "\n"


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ("lf", "crlf"):
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    with open(sys.argv[1], encoding="utf-8") as readme:
        text = plain(section(readme.read().split("\n")))
    if sys.argv[3] == "crlf":
        text = text.replace("\n", "\r\n")
    with open(sys.argv[2], "w", encoding="utf-8", newline="") as guide:
        guide.write(text)


if __name__ == "__main__":
    main()
