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
