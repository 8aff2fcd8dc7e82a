# Sourced by build.sh and fuzz/run.sh: installs the Debian packages named in
# "$missing" (a blank-separated list), as root or through sudo.
if [ -n "$missing" ]; then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "installing:$missing" >&2
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >&2
fi
