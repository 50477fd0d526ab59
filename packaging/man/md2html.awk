# Turns a manual page written in md2man.awk's Markdown subset into a page of the
# HTML help, so that the desktop program's help and the manual page come from
# one source.
#   awk -v navfile=index.html -f md2html.awk velk-script.5.md > script-options.html
# The page takes the <nav> line of navfile, as the other help pages have it.  The
# title line gives the page title; "# NAME" and its line become the heading;
# tagged items become a definition list, tables a table, examples <pre>.

function escaped(s) {
    gsub(/&/, "\\&amp;", s)
    gsub(/</, "\\&lt;", s)
    gsub(/>/, "\\&gt;", s)
    return s
}

function inline(s,    out, pre, m, parts) {
    out = ""
    while (match(s, /`[^`]+`|\*\*[^*]+\*\*|\*[^* ][^*]*\*|\[[^]]+\]\([^)]+\)/)) {
        pre = substr(s, 1, RSTART - 1)
        m = substr(s, RSTART, RLENGTH)
        s = substr(s, RSTART + RLENGTH)
        out = out escaped(pre)
        if (m ~ /^`/) {
            out = out "<code>" escaped(substr(m, 2, length(m) - 2)) "</code>"
        } else if (m ~ /^\*\*/) {
            out = out "<b>" escaped(substr(m, 3, length(m) - 4)) "</b>"
        } else if (m ~ /^\*/) {
            out = out "<i>" escaped(substr(m, 2, length(m) - 2)) "</i>"
        } else {
            split(m, parts, /\]\(/)
            out = out escaped(substr(parts[1], 2)) " &lt;" escaped(substr(parts[2], 1, length(parts[2]) - 1)) "&gt;"
        }
    }
    return out escaped(s)
}

function trimmed(s) {
    sub(/^[ \t]+/, "", s)
    sub(/[ \t]+$/, "", s)
    return s
}

# Closes whatever block is open: a paragraph, a list, a definition or a table.
function closeBlock() {
    if (block == "p") print "</p>"
    else if (block == "ul") print "</li></ul>"
    else if (block == "dl") print "</dd></dl>"
    else if (block == "table") print "</table>"
    block = ""
}

BEGIN {
    if (navfile != "")
        while ((getline navLine < navfile) > 0)
            if (navLine ~ /^<nav>/) { nav = navLine; break }
}

{ lines[++n] = $0 }

END {
    split(lines[1], title, / +/)
    printf "<!DOCTYPE html>\n<html lang=\"en\">\n"
    printf "<head><meta charset=\"utf-8\"><title>%s(%s) - VELK Help</title>", title[2], title[3]
    printf "<link rel=\"stylesheet\" href=\"help.css\"></head>\n<body>\n"
    if (nav != "") print nav
    block = ""
    for (i = 2; i <= n; ++i) {
        line = lines[i]
        if (line ~ /^```/) {
            closeBlock()
            print "<pre>"
            for (++i; i <= n && lines[i] !~ /^```/; ++i) print escaped(lines[i])
            print "</pre>"
            continue
        }
        if (line ~ /^[ \t]*$/) {
            if (block == "p") closeBlock()
            continue
        }
        if (line ~ /^# NAME$/) {
            closeBlock()
            for (++i; i <= n && lines[i] ~ /^[ \t]*$/; ++i) {}
            print "<h1>" inline(lines[i]) "</h1>"
            continue
        }
        if (line ~ /^## /) {
            closeBlock()
            print "<h3>" inline(substr(line, 4)) "</h3>"
            continue
        }
        if (line ~ /^# /) {
            closeBlock()
            # Manual headings are capitals: "GENERAL OPTIONS" reads "General options".
            heading = substr(line, 3)
            print "<h2>" inline(substr(heading, 1, 1) tolower(substr(heading, 2))) "</h2>"
            continue
        }
        if (line ~ /^\|/) {
            if (block != "table") {
                closeBlock()
                print "<table>"
                block = "table"
                cellTag = "th"
            }
            if (line ~ /^\|[-| :]+\|$/) continue
            cells = line
            sub(/^\| */, "", cells)
            sub(/ *\|$/, "", cells)
            count = split(cells, cell, / *\| */)
            row = "<tr>"
            for (c = 1; c <= count; ++c) row = row "<" cellTag ">" inline(cell[c]) "</" cellTag ">"
            print row "</tr>"
            cellTag = "td"
            continue
        }
        if (line ~ /^- /) {
            if (block == "ul") print "</li><li>" inline(substr(line, 3))
            else { closeBlock(); print "<ul><li>" inline(substr(line, 3)); block = "ul" }
            continue
        }
        if (i < n && lines[i + 1] ~ /^: /) {
            if (block == "dl") print "</dd>"
            else { closeBlock(); print "<dl>"; block = "dl" }
            print "<dt>" inline(line) "</dt>"
            print "<dd>" inline(substr(lines[i + 1], 3))
            ++i
            continue
        }
        if (line ~ /^[ \t]/ && (block == "dl" || block == "ul")) {
            # Continued after a blank line: a paragraph of its own in the item.
            if (lines[i - 1] ~ /^[ \t]*$/) print "<br><br>"
            print inline(trimmed(line))
            continue
        }
        if (block != "p") {
            closeBlock()
            printf "<p>"
            block = "p"
        }
        print inline(trimmed(line))
    }
    closeBlock()
    print "</body>\n</html>"
}
