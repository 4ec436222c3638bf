# bash completion for tellmark-lookup and tellmark-build          -*- shell-script -*-
# Installed once under each program's name, so bash-completion loads it for either.

# Completes $1, the word being typed, after $2, the word before it. $3: the options that take a
# value; $4: those that take none; $5: options whose value is a folder; $6: OPTION:PATTERN pairs,
# options whose value is a file named like PATTERN (or a folder on the way to one).
_tellmark_words()
{
    local cur=$1 prev=$2 takes=$3 flags=$4 dirs=$5 files=$6
    COMPREPLY=()
    case " $dirs " in
        *" $prev "*)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return ;;
    esac
    # Files by extension (an option may have several entries), and folders to walk into.
    local entry found=
    for entry in $files; do
        [[ $prev == "${entry%%:*}" ]] || continue
        found=1
        mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -f -X "!${entry#*:}" -- "$cur")
    done
    if [[ $found ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t -O "${#COMPREPLY[@]}" COMPREPLY < <(compgen -d -- "$cur")
        return
    fi
    if [[ $prev == --db ]]; then
        mapfile -t COMPREPLY < <(compgen -W "us intl" -- "$cur")
        return
    fi
    # Any other option that takes a value: free text (a name, a number, an address).
    case " $takes " in *" $prev "*) return ;; esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$takes $flags" -- "$cur")
    fi
}

# The option before the current word, and the current word, with "--opt=VALUE" split at "=".
_tellmark_context()
{
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    if [[ $cur == = ]] && ((COMP_CWORD > 0)); then
        cur= prev=${COMP_WORDS[COMP_CWORD - 1]}
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
}

_tellmark_lookup()
{
    local cur prev
    _tellmark_context
    _tellmark_words "$cur" "$prev" \
        "--data --name --city --zip --county --count --db --cw --cw-speed --cw-pitch
         --cw-volume --adif --adif-out --qsl-labels --template --out --qsl-from --qsl-to
         --closing --serve --wsjtx --log --locator --adif-charset" \
        "--help --version --json --csv --words --stats --in-place --force --qsl-all --bureau
         --mark-sent --allow-sample" \
        "--data" \
        "--adif:*.[aA][dD][iI] --adif-out:*.[aA][dD][iI] --cw:*.[wW][aA][vV]
         --qsl-labels:*.[aA][dD][iI] --template:*.[cC][lL][sS] --out:*.[pP][dD][fF]
         --log:*.[aA][dD][iI]"
}

_tellmark_build()
{
    local cur prev
    _tellmark_context
    _tellmark_words "$cur" "$prev" \
        "--out --sources --texts --us --intl --seed --fcc --fcc-daily --intl-csv --ised --title
         --update --fcc-url --sample-us --sample-intl --cty" \
        "--help --version --edition-1999 --quiet --no-maps --offline --enable-timer" \
        "--out --sources --texts --update" \
        "--fcc:*.[zZ][iI][pP] --fcc-daily:*.[zZ][iI][pP] --intl-csv:*.[cC][sS][vV]
         --ised:*.[zZ][iI][pP] --ised:*.[tT][xX][tT]"
}

complete -F _tellmark_lookup tellmark-lookup
complete -F _tellmark_build tellmark-build
