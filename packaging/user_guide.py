#!/usr/bin/env python3
"""Writes an archive's README.txt: the platform's user's guide as plain text, with its version.

Usage: packaging/user_guide.py GUIDE.md OUTPUT lf|crlf VERSION COMMIT

GUIDE.md is docs/user-guide-windows.md or docs/user-guide-linux.md. Below its first heading
comes a line naming VERSION and COMMIT, the version and commit the archive was built from.
Markdown is taken out the way a reader would: a heading becomes its plain line, a link its text
(an address on the web stays, in angle brackets, since there is nothing else to follow), an image
goes, and so do emphasis, code marks and table rules. The zip's guide has CRLF line ends, as
Windows' own text files have.
"""
import re
import sys


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


def with_version(lines, version, commit):
    """The guide's lines with the version line below the first heading."""
    for at, line in enumerate(lines):
        if re.match(r"#\s", line):
            return lines[:at + 1] + ["", f"Version {version}, built from commit {commit}."] + lines[at + 1:]
    sys.exit("user_guide.py: the guide has no heading to put the version under")


def main():
    if len(sys.argv) in (2, 3) and sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return
    if len(sys.argv) != 6 or sys.argv[3] not in ("lf", "crlf"):
        sys.exit(__doc__.strip().split("\n\n")[1].strip())
    with open(sys.argv[1], encoding="utf-8") as guide:
        text = plain(with_version(guide.read().split("\n"), sys.argv[4], sys.argv[5]))
    if sys.argv[3] == "crlf":
        text = text.replace("\n", "\r\n")
    with open(sys.argv[2], "w", encoding="utf-8", newline="") as guide:
        guide.write(text)


if __name__ == "__main__":
    main()
