# Shared by the scripts: the builds are the presets of CMakePresets.json, named once.
# Sourced from the source root.

# dodoz_configure <preset> [<build dir>]: configures the preset, in its own folder unless
# another is given.
dodoz_configure() {
    local preset=$1 dir=${2:-}
    if [ -n "$dir" ]; then
        cmake --preset "$preset" -B "$dir" >/dev/null
    else
        cmake --preset "$preset" >/dev/null
    fi
}

# dodoz_help <script>: the script's help, its opening comment (from the second line to
# `set -euo`) without the comment marks.
dodoz_help() {
    sed -n '2,/^set -euo/p' "$1" | sed '$d' | sed 's/^# \{0,1\}//'
}

# dodoz_no_arguments <script> <arguments...>: for a script that takes none, prints the help
# and exits for -h or --help, refuses anything else; returns when there is nothing.
dodoz_no_arguments() {
    local script=$1
    shift
    [ $# -gt 0 ] || return 0
    case "$1" in
        -h|--help) dodoz_help "$script"; exit 0 ;;
    esac
    echo "$(basename "$script"): no arguments expected, got '$1'" >&2
    echo "Try '$script --help' for more information." >&2
    exit 2
}
