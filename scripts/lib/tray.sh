# scripts/lib: finds Corvana's tray icon docked in trayer (an XEmbed tray host), for the end-to-end tests.
# Sourced; corvana_docked_icon prints the X window of the icon that sits inside trayer's window, if there is one.
corvana_docked_icon() {
    local w p cls
    for w in $(xdotool search --classname '^corvana$' 2>/dev/null); do
        p=$w
        for _ in 1 2 3 4 5 6; do
            p=$(xwininfo -tree -id "$p" 2>/dev/null | awk '/Parent window id/ {print $4}')
            # The root's parent is 0x0, which xwininfo would take as "let the user pick one".
            [ -n "$p" ] && [ "$p" != 0x0 ] || break
            cls=$(xprop -id "$p" WM_CLASS 2>/dev/null || true)
            if [[ $cls == *'"trayer"'* ]]; then
                echo "$w"
                return 0
            fi
        done
    done
    return 1
}
