#!/usr/bin/env bash
# Installs one side of Bramix from the staged build (build/stage/bin) into a directory of its own:
#
#   scripts/install.sh server <dir> [<stage dir>]   BramixServer, the service manager stand-in and the
#                                                   shared files list.xml, configtempl.xml, uplist.xml,
#                                                   updateLog.xml
#   scripts/install.sh client <dir> [<stage dir>]   BramixClient, Inquix, Swaplet, set.xml and the COM,
#                                                   WMI and service manager stand-ins
#   scripts/install.sh admin <dir> [<stage dir>]    BramixAdmin, its translations, the report window's
#                                                   setting.xml and the server's shared files
#
# Programs and libraries are always replaced. Data files are installed only where the directory has
# none yet, so installing over an existing installation keeps its client list, inventory files, update
# list, update log and settings. Sourcing this file only defines the functions.

bramix_default_stage() {
    local top
    top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    echo "$top/build/stage/bin"
}

# Copies a staged program or library and every staged shared library it needs.
_bramix_copy_binary() {
    local stage=$1 dir=$2 name=$3
    [ -e "$stage/$name" ] || { echo "install: $stage/$name is missing (not built?)" >&2; return 1; }
    cp -f "$stage/$name" "$dir/$name.new"
    mv -f "$dir/$name.new" "$dir/$name"
    local lib
    for lib in $(ldd "$stage/$name" 2>/dev/null | awk -v s="$stage/" 'index($3, s) == 1 { print $3 }'); do
        lib=$(basename "$lib")
        [ -e "$dir/$lib" ] || _bramix_copy_binary "$stage" "$dir" "$lib"
    done
}

_bramix_copy_data() {
    local stage=$1 dir=$2 name=$3
    [ -e "$stage/$name" ] || { echo "install: $stage/$name is missing (not built?)" >&2; return 1; }
    [ -e "$dir/$name" ] || cp "$stage/$name" "$dir/$name"
}

bramix_install_server() {
    local dir=$1 stage=${2:-$(bramix_default_stage)} f
    mkdir -p "$dir"
    for f in BramixServer libadvapi32.so; do
        _bramix_copy_binary "$stage" "$dir" "$f" || return 1
    done
    for f in list.xml configtempl.xml uplist.xml updateLog.xml; do
        _bramix_copy_data "$stage" "$dir" "$f" || return 1
    done
}

bramix_install_client() {
    local dir=$1 stage=${2:-$(bramix_default_stage)} f
    mkdir -p "$dir"
    # Inquix, the service manager and the WMI providers are loaded at run time, not linked.
    for f in BramixClient Swaplet libInquix.so libadvapi32.so libbramixcom.so libbramixwmi.so bramix-regsvr; do
        _bramix_copy_binary "$stage" "$dir" "$f" || return 1
    done
    _bramix_copy_data "$stage" "$dir" set.xml || return 1
}

# The console shares the server's directory; its translations are looked up in the directory it is
# started from, which is that directory too.
bramix_install_admin() {
    local dir=$1 stage=${2:-$(bramix_default_stage)} f
    mkdir -p "$dir"
    _bramix_copy_binary "$stage" "$dir" BramixAdmin || return 1
    for f in BramixAdmin_EN.qm BramixAdmin_CN.qm BramixAdmin_JP.qm; do
        [ -e "$stage/$f" ] || { echo "install: $stage/$f is missing (not built?)" >&2; return 1; }
        cp -f "$stage/$f" "$dir/$f"
    done
    # setting.xml is the report window's page set-up, read from the directory the console starts in.
    for f in list.xml configtempl.xml uplist.xml updateLog.xml setting.xml; do
        _bramix_copy_data "$stage" "$dir" "$f" || return 1
    done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    case "${1:-}" in
    server) [ $# -ge 2 ] || { echo "usage: $0 server <dir> [<stage dir>]" >&2; exit 2; }
        bramix_install_server "$2" "${3:-}" ;;
    client) [ $# -ge 2 ] || { echo "usage: $0 client <dir> [<stage dir>]" >&2; exit 2; }
        bramix_install_client "$2" "${3:-}" ;;
    admin) [ $# -ge 2 ] || { echo "usage: $0 admin <dir> [<stage dir>]" >&2; exit 2; }
        bramix_install_admin "$2" "${3:-}" ;;
    *) echo "usage: $0 server|client|admin <dir> [<stage dir>]" >&2; exit 2 ;;
    esac
fi
