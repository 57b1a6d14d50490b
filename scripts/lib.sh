# Shared set-up steps of scripts/run and scripts/test. Every step is idempotent and
# cheap when its work is already done, so both commands can run it each time.

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$REPO/build"
export WINEPREFIX="$BUILD/wineprefix"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# Mono and Gecko are neither present nor wanted; without this wineboot offers to download them.
export WINEDLLOVERRIDES="mscoree=;mshtml="
# WinInet honours the proxy variables of the environment; no test may leave loopback through one.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

log() { printf '== %s\n' "$*" >&2; }

PACKAGES=(
    wine wine32:i386 libgnutls30:i386
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
    libz-mingw-w64-dev zlib1g-dev
    googletest cmake ninja-build g++ clang-format clang-15 libfuzzer-15-dev
    xvfb xauth fonts-dejavu-core python3 python3-aiosmtpd locales nginx-light curl bc
    unzip zip libarchive-tools
)

ensure_packages() {
    local missing=()
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        missing=("${PACKAGES[@]}")
    else
        local p
        for p in "${PACKAGES[@]}"; do
            dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing+=("$p")
        done
    fi
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo dpkg --add-architecture i386
    # A mirror in the middle of a sync answers with index files of the wrong size; try
    # again, and install from the indexes that did arrive when it keeps failing.
    local attempt
    for attempt in 1 2 3; do
        $sudo apt-get update -qq && break
        log "the package index update failed (attempt $attempt)"
        sleep 10
    done
    if DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
        return 0
    fi
    # The i386 packages must have the versions of their amd64 twins. When one architecture's
    # index of the security archive did not arrive, those cannot be matched; the main
    # archive and its updates alone are consistent, so install from them.
    log "installing again from the main archive and its updates only"
    local list
    list="$(mktemp)"
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg suite
    for suite in bookworm bookworm-updates; do
        echo "deb [signed-by=$keyring] http://deb.debian.org/debian $suite main"
    done >"$list"
    local only_main=(-o "Dir::Etc::SourceList=$list" -o Dir::Etc::SourceParts=/nonexistent)
    $sudo apt-get "${only_main[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get "${only_main[@]}" install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
    rm -f "$list"
}

# Wine takes the system language from LC_CTYPE and the user interface language from
# LC_MESSAGES only for locales that exist; the tests switch between these two.
ensure_locales() {
    local have
    have="$(locale -a 2>/dev/null)"
    if grep -qx 'de_DE.utf8' <<<"$have" && grep -qx 'en_US.utf8' <<<"$have"; then
        return 0
    fi
    log "generating the locales de_DE.UTF-8 and en_US.UTF-8"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/; s/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
}

# A display for Wine: the caller's X server when there is one, else a private Xvfb.
# The prefix also falls back to Wine's null driver, so nothing hangs without either.
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && display_alive; then
        return 0
    fi
    local n
    for n in 91 92 93 94 95 96 97 98 99; do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
            XVFB_PID=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 50); do
                [ -e "/tmp/.X11-unix/X$n" ] && return 0
                sleep 0.1
            done
            log "Xvfb on :$n did not come up"
            return 1
        fi
    done
    log "no free X display number"
    return 1
}

display_alive() {
    # The display counts as alive when its X socket exists.
    local n="${DISPLAY#*:}"
    n="${n%%.*}"
    [ -e "/tmp/.X11-unix/X$n" ]
}

stop_display() {
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}

# Wine runs the program as what it is, 32-bit x86 code, so the kernel must execute i386
# programs. Some virtual machines run 64-bit user code only (their execve refuses i386
# programs with "Exec format error"); emulating the whole processor instead (qemu-i386 through
# binfmt_misc) was measured a hundred times slower, far past any test's time limit.
# Only that refusal counts: a missing or broken i386 loader is a broken installation and fails.
ensure_i386() {
    local out
    if ! out=$(/lib/ld-linux.so.2 --version 2>&1 >/dev/null); then
        case "$out" in *"Exec format error"*) ;; *) log "the i386 loader does not run: $out"; exit 1 ;; esac
        log "this machine cannot run 32-bit x86 programs: its kernel refuses i386 executables"
        log "(dmesg: $(dmesg 2>/dev/null | grep -m1 -i -E 'ia-?32|32-bit emulation' || echo 'no reason given'))."
        log "Wine needs that for the Windows program and its tests: run them on a machine that has it."
        return 1
    fi
}

# The project's own Wine prefix: no crash debugger, fonts present, a virtual desktop on X
# (no window manager is needed) and the null driver where no X server answers.
ensure_prefix() {
    ensure_i386
    local stamp="$WINEPREFIX/.lumigate-configured"
    if [ ! -f "$stamp" ]; then
        log "creating Wine prefix $WINEPREFIX"
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf "$fonts/"
        wine regedit /S "$(winepath -w "$REPO/scripts/prefix.reg")" >/dev/null 2>&1 </dev/null
        wineserver -w
        touch "$stamp"
    fi
    start_wineserver
}

# A persistent wineserver turns a program start of seconds into a tenth of one. Its streams
# are detached: CTest would otherwise wait on the inherited pipe until its time-out.
start_wineserver() {
    wineserver -p </dev/null >/dev/null 2>&1 &
    disown 2>/dev/null || true
    # The first program of a server session starts Wine's background services; started
    # from a test, they would keep CTest's output pipe open. Start them here instead.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wineserver() {
    wineserver -k >/dev/null 2>&1 </dev/null || true
}

configure_target() {
    local type="${1:-Debug}"
    cmake -S "$REPO" -B "$BUILD/win" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE="$type" >/dev/null
}

build_target() {
    configure_target "$@"
    cmake --build "$BUILD/win"
}
