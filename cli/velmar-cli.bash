# bash completion for velmar-cli
_velmar_cli() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local devices="8741A 8742 8748 8748H 8749H 8751H 87C51H 87C52H 87C54H 87C58H 87C51FA 87C51FB 87C51FC 89C51 89C52 89S52 89S53 89LS53 89C55 89S8252 89LS8252"
    local formats="binary intel motorola ascii"
    local commands="read verify blank compare program erase lock probe firmware list convert job"
    local options="--usb --virtual --trace --device --format --buffer-start --fill --fold --hash --max-diffs --progress --passes --serial -q -v -vv --help --version --json --repeat --repeat-when-changed --serial-number --serial-state --reuse-failed --serial-overwrite --lock-bits --log --log-csv"
    local convert_options="--from --to --device --limit --offset --buffer-start --end --fold --json -q -v --help"

    case $prev in
        --device) COMPREPLY=($(compgen -W "$devices" -- "$cur")); return ;;
        --format|--from|--to) COMPREPLY=($(compgen -W "$formats" -- "$cur")); return ;;
        --progress) COMPREPLY=($(compgen -W "lines none auto" -- "$cur")); return ;;
        --passes) COMPREPLY=($(compgen -W "2 3 4 5 6 7 8 9" -- "$cur")); return ;;
        lock) COMPREPLY=($(compgen -W "1 2 3" -- "$cur")); return ;;
        --trace|--log|--log-csv|--serial-state) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        job) COMPREPLY=($(compgen -W "new check run" -- "$cur")); return ;;
        --buffer-start|--fill|--max-diffs|--serial|--limit|--offset|--end|--serial-number|--lock-bits) return ;;
    esac
    case $cur in
        --device=*) COMPREPLY=($(compgen -P "--device=" -W "$devices" -- "${cur#--device=}")); return ;;
        --format=*) COMPREPLY=($(compgen -P "--format=" -W "$formats" -- "${cur#--format=}")); return ;;
        --progress=*) COMPREPLY=($(compgen -P "--progress=" -W "lines none auto" -- "${cur#--progress=}")); return ;;
    esac

    local word command=
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case " $commands " in *" $word "*) command=$word; break ;; esac
    done
    if [[ $cur == -* ]]; then
        if [[ $command == convert ]]; then
            COMPREPLY=($(compgen -W "$convert_options" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$options" -- "$cur"))
        fi
    elif [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _velmar_cli velmar-cli
