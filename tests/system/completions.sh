#!/usr/bin/env bash
# The shells' completions made from the option table, in the real shells: every option of
# the Linux command and none of the Windows programs' alone, values after the options that
# take them, files for -r's list and folders alone for the folders to walk.
# usage: completions.sh COMPLETIONS_DIR WORKDIR OPTION_LISTS
set -u
made=$(realpath "$1") work=$2 lister=$(realpath "$3")
. "$(dirname "$0")/lib.sh"
rm -rf "$work" && mkdir -p "$work/here/sub"
: >"$work/here/list.txt"
cd "$work/here" || exit 1

# bash, with bash-completion as Debian's package gives it: the function's answers for a
# command line, one a line.
bash_offers() { # bash_offers WORD...: the words of the line; the last is being completed
  bash --norc --noprofile -c '
    . /usr/share/bash-completion/bash_completion
    . "$0"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE= previous=
    for word in "$@"; do # as typed: no blank around the "=" that bash splits words at
      [ "$word" = = ] || [ "$previous" = = ] || COMP_LINE+=${COMP_LINE:+ }
      COMP_LINE+=$word previous=$word
    done
    COMP_POINT=${#COMP_LINE}
    _chronotree chronotree "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$made/bash" chronotree "$@" 2>/dev/null
}
# compopt, called outside a real completion, says so on standard error, hence 2>/dev/null.
# Every long name and letter of the table that the Linux command has, and nothing else.
linux_words() {
  "$lister" table | awk -F '\t' '$4 != "windows" && $2 != "--" { print "--" $2 ($3 != "-" ? "=" : "") }
    $1 != "-" && $4 != "windows" && $5 != "windows" && $5 != "none" { print "-" $1 }' | sort
}
linux_options_only() { [ "$(bash_offers - | sort)" = "$(linux_words)" ]; }
check "bash: --ex gives --exclude=" [ "$(bash_offers --ex)" = "--exclude=" ]
bash_has() { bash_offers "${@:2}" | grep -qx -- "$1"; } # bash_has OFFER WORD...
check "bash: -r offers files" bash_has list.txt -r ""
check "bash: -a offers folders only" [ "$(bash_offers -a "")" = sub ]
# bash splits "--restore=" at the "=", as COMP_WORDBREAKS says.
check "bash: --restore= offers files" bash_has list.txt --restore = ""
check "bash: -j offers counts" bash_has 8 -j ""
check "bash: every Linux option, no Windows one" linux_options_only

# fish answers what it would offer for a command line, one a line, with its description.
fish_offers() { fish --no-config -c "source '$made/fish'; complete -C '$1'" 2>&1 | cut -f1; }
check "fish: --ex gives --exclude" [ "$(fish_offers 'chronotree --ex')" = "--exclude" ]
fish_has() { fish_offers "$2" | grep -qx -- "$1"; } # fish_has OFFER LINE
check "fish: -r offers files" fish_has list.txt 'chronotree -r '
check "fish: -a offers folders only" [ "$(fish_offers 'chronotree -a ')" = sub/ ]
check "fish: no --created" [ -z "$(fish_offers 'chronotree --cr')" ]

# zsh completes only in a terminal: a real one under tmux, Tab pressed, the screen read.
zsh_screen() { # zsh_screen LINE: the screen after LINE and a Tab in a fresh zsh
  local session=chronotree-completion-$$
  tmux kill-session -t "$session" 2>/dev/null
  tmux new-session -d -s "$session" -x 120 -y 20 \
    "cd '$work/here' && ZDOTDIR='$work' exec zsh -f"
  tmux send-keys -t "$session" "fpath=('$work/zfunctions' \$fpath); autoload -U compinit; \
compinit -u -d '$work/zcompdump'; PS1='> '; clear" Enter
  sleep 1
  tmux send-keys -t "$session" "$1" Tab
  sleep 1
  tmux capture-pane -p -t "$session"
  tmux kill-session -t "$session"
}
mkdir -p "$work/zfunctions" && cp "$made/zsh" "$work/zfunctions/_chronotree"
zsh_shows() { zsh_screen "$2" | grep -qF -- "$1"; } # zsh_shows TEXT LINE
check "zsh: --ex gives --exclude=" zsh_shows "chronotree --exclude=" "chronotree --ex"
check "zsh: -r offers files" zsh_shows "list.txt" "chronotree -r "
check "zsh: -a offers folders only" zsh_shows "chronotree -a sub/" "chronotree -a "
no_created() { ! zsh_screen "chronotree --cr" | grep -q created; }
check "zsh: no --created" no_created
finish
