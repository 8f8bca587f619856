# Turns `kelvaro --help` into the Finnish man page kelvaro(1), so that the
# page and the help cannot drift apart.
#   kelvaro --help | awk -v version=1.0.0 -v date="joulukuu 2026" -f kelvaro-man.awk
# The help's layout: a "Käyttö:" line, a description, "Valitsimet …:" with
# one "  --option ARG   text" entry each (continued on lines indented by
# 30), notes (an indented line is kept as it is), and "Paluuarvot: …" last.
# The help names the separator of the locale it runs under; the page states
# the rule instead, so that it does not depend on where it was built.

# roff text: backslashes and hyphens escaped, no line taken for a request.
function roff(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    sub(/^[.']/, "\\\\\\&&", s)
    return s
}

function heading(name) {
    print ".SH " name
    fresh = 1
}

# Text of a paragraph; a blank line in the help starts the next one.
function text(s) {
    if (fresh == 0 && blank == 1) print ".PP"
    fresh = 0
    blank = 0
    print roff(s)
}

BEGIN {
    print ".\\\" Made from kelvaro --help at build time (data/kelvaro-man.awk)."
    print ".TH KELVARO 1 \"" date "\" \"Kelvarolaskuri " version "\" \"Käyttäjän komennot\""
    # Option and column names stay whole.
    print ".nh"
    heading("NIMI")
    print "kelvaro \\- warranttien arvo komentoriviltä"
    part = "start"
}

part == "start" && sub(/^Käyttö: /, "") {
    heading("KÄYTTÖ")
    print roff($0)
    heading("KUVAUS")
    part = "description"
    next
}

/^$/ {
    blank = 1
    next
}

part == "description" && /^Valitsimet/ {
    heading("VALITSIMET")
    text($0)
    part = "options"
    next
}

part == "description" {
    text($0)
    next
}

# An option: its name in bold, its argument in italics.
part == "options" && /^  -/ {
    line = $0
    sub(/^  /, "", line)
    tag = line
    help = ""
    if (match(line, /   +/)) {
        tag = substr(line, 1, RSTART - 1)
        help = substr(line, RSTART + RLENGTH)
    }
    name = tag
    arg = ""
    if (match(tag, / /)) {
        name = substr(tag, 1, RSTART - 1)
        arg = substr(tag, RSTART + 1)
    }
    print ".TP"
    print "\\fB" roff(name) "\\fR" (arg == "" ? "" : " \\fI" roff(arg) "\\fR")
    if (help != "") print roff(help)
    next
}

part == "options" && /^      / {
    sub(/^ +/, "")
    print roff($0)
    next
}

part == "options" {
    heading("HUOMAUTUKSET")
    part = "notes"
}

part == "notes" && sub(/^Paluuarvot: /, "") {
    heading("PALUUARVO")
    part = "exit"
}

# A list such as the batch's column names, kept on its own lines.
part == "notes" && /^  / {
    sub(/^ +/, "")
    if (!fresh) print ".PP"
    print ".RS"
    print ".nf"
    print roff($0)
    while ((getline line) > 0 && line ~ /^  /) {
        sub(/^ +/, "", line)
        print roff(line)
    }
    print ".fi"
    print ".RE"
    fresh = 0
    blank = 1
    if (line == "") {
        blank = 1
        next
    }
    $0 = line
}

part == "notes" {
    # The separator of the locale the help ran under does not belong in the page.
    sub(/ ?Nykyinen alueasetusten desimaalierotin on "[^"]*"\./, "")
    if ($0 != "") text($0)
    next
}

part == "exit" {
    text($0)
}

END {
    heading("YMPÄRISTÖ")
    print ".TP"
    print ".BR LC_ALL \", \" LC_NUMERIC \", \" LANG"
    print "Alueasetusten desimaalierotin on sen alueen, jonka ensimmäinen näistä"
    print "asetetuista muuttujista nimeää: esimerkiksi fi_FI.UTF\-8 antaa pilkun,"
    print "C ja en_US.UTF\-8 pisteen."
    print ".B \-\-decimal\-separator"
    print "ohittaa sen."
    heading("KATSO MYÖS")
    print ".BR kelvarolaskuri (1)"
}
