# Turns a manual page written in a small Markdown subset into man(7) roff.
#   awk -v version=2.0 -v date=2026-12-09 -f md2man.awk velkrun.1.md > velkrun.1
# The subset, one construct per line start:
#   % NAME SECTION MANUAL TITLE   the title line (first line)
#   # HEADING / ## Subheading     .SH / .SS
#   (blank line)                  ends a paragraph
#   ```                           starts or ends an example shown as typed
#   - text                        a bullet item (continued by indented lines)
#   TERM  then  : text            a tagged item: TERM, and its text indented
#                                 (further lines of the text begin with spaces)
#   | a | b |                     a table row: the header row and the |---|
#                                 row are dropped, each other row becomes a
#                                 tagged item (a, then b)
# Inline: `code` and **bold** print bold, *word* italic, [text](address)
# prints the text and the address in angle brackets.
# Awk, not a converter package: building needs nothing beyond the base system.

function roffText(s) {
    gsub(/\\/, "\\e", s)
    return s
}

# Literal text (code, option names): its hyphens are minus signs, so that a
# copied option works.
function literal(s) {
    s = roffText(s)
    gsub(/-/, "\\-", s)
    return s
}

function inline(s,    out, pre, m) {
    out = ""
    while (match(s, /`[^`]+`|\*\*[^*]+\*\*|\*[^* ][^*]*\*|\[[^]]+\]\([^)]+\)/)) {
        pre = substr(s, 1, RSTART - 1)
        m = substr(s, RSTART, RLENGTH)
        s = substr(s, RSTART + RLENGTH)
        out = out roffText(pre)
        if (m ~ /^`/) {
            out = out "\\fB" literal(substr(m, 2, length(m) - 2)) "\\fR"
        } else if (m ~ /^\*\*/) {
            out = out "\\fB" literal(substr(m, 3, length(m) - 4)) "\\fR"
        } else if (m ~ /^\*/) {
            out = out "\\fI" roffText(substr(m, 2, length(m) - 2)) "\\fR"
        } else {
            split(m, parts, /\]\(/)
            out = out roffText(substr(parts[1], 2)) " <" roffText(substr(parts[2], 1, length(parts[2]) - 1)) ">"
        }
    }
    return out roffText(s)
}

# A line of text: never one that roff would take for a request.
function emit(s) {
    if (s ~ /^[.']/) s = "\\&" s
    print s
}

function trimmed(s) {
    sub(/^[ \t]+/, "", s)
    sub(/[ \t]+$/, "", s)
    return s
}

BEGIN {
    n = 0
}

{ lines[++n] = $0 }

END {
    split(lines[1], title, / +/)
    manual = lines[1]
    sub(/^% +[^ ]+ +[^ ]+ */, "", manual)
    printf ".TH %s %s \"%s\" \"VELK %s\" \"%s\"\n", toupper(title[2]), title[3], date, version, manual
    state = "text"      # text, example, item, table
    para = 0            # a paragraph break is due before the next text
    tableRow = 0
    for (i = 2; i <= n; ++i) {
        line = lines[i]
        if (state == "example") {
            if (line ~ /^```/) {
                print ".fi"
                print ".RE"
                state = "text"
                para = 1
            } else {
                emit(roffText(line))
            }
            continue
        }
        if (line ~ /^```/) {
            if (!fresh) print ".PP"
            fresh = 0
            print ".RS 4"
            print ".nf"
            state = "example"
            continue
        }
        if (line ~ /^[ \t]*$/) {
            # A heading starts its own paragraph.
            para = !fresh
            tableRow = 0
            if (state != "item") state = "text"
            continue
        }
        if (line ~ /^## /) {
            print ".SS " inline(substr(line, 4))
            state = "text"; para = 0; fresh = 1; continue
        }
        if (line ~ /^# /) {
            section = substr(line, 3)
            print ".SH " inline(section)
            state = "text"; para = 0; fresh = 1; continue
        }
        fresh = 0
        if (line ~ /^\|/) {
            ++tableRow
            if (tableRow == 1 || line ~ /^\|[-| :]+\|$/) continue
            cells = line
            sub(/^\| */, "", cells)
            sub(/ *\|$/, "", cells)
            split(cells, cell, / *\| */)
            print ".TP"
            emit(inline(cell[1]))
            emit(inline(cell[2]))
            state = "text"; para = 0; continue
        }
        if (line ~ /^- /) {
            print ".IP \\(bu 2"
            emit(inline(substr(line, 3)))
            state = "item"; para = 0; continue
        }
        if (i < n && lines[i + 1] ~ /^: /) {
            print ".TP"
            emit(inline(line))
            emit(inline(substr(lines[i + 1], 3)))
            ++i
            state = "item"; para = 0; continue
        }
        if (line ~ /^[ \t]/ && state == "item") {
            if (para) { print ".IP"; para = 0 }
            emit(inline(trimmed(line)))
            continue
        }
        if (para || state == "item") print ".PP"
        para = 0
        state = "text"
        text = inline(trimmed(line))
        # The NAME line's dash is what whatis and apropos split on.
        if (section == "NAME") sub(/ - /, " \\- ", text)
        emit(text)
    }
}
