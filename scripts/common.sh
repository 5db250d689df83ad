# Shared by the project's scripts: installing what is missing, and running Wine inside the build.

# Installs the Debian packages that are not installed yet, with one apt-get update.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" </dev/null
}

# Wine as scripts/wine runs it, with its prefix inside the given build folder: its environment
# exported, and wine64 and wineserver named, so that a script calls them as they are (bench/run
# times them). The prefix is made here, so that the first programs run do not each start making it.
use_wine_prefix() {
  local settings
  settings=$("$(dirname "${BASH_SOURCE[0]}")/wine" "$1" --shell)
  eval "$settings"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    "$wine64" wineboot --init >/dev/null 2>&1
    "$wineserver" -w
  fi
}

# Waits for every Wine process of the prefix to end, so that none outlives the script.
stop_wine() {
  [ -n "${wineserver:-}" ] && [ -d "$WINEPREFIX" ] || return 0
  timeout 120 "$wineserver" -w || "$wineserver" -k || true
}

# Installs the checkers pinned in scripts/tools/package-lock.json into build/tools, again only when
# the lock changes. Debian's own Node.js does when the machine has none.
ensure_node_tools() {
  command -v npm >/dev/null || ensure_packages nodejs npm
  local tools=build/tools
  if [ ! -d "$tools/node_modules" ] ||
    ! cmp -s scripts/tools/package-lock.json "$tools/package-lock.json"; then
    echo "== installing the pinned checkers into $tools"
    rm -rf "$tools"
    mkdir -p "$tools"
    cp scripts/tools/package.json scripts/tools/package-lock.json "$tools/"
    (cd "$tools" && npm ci --no-audit --no-fund --loglevel=error)
  fi
  cp scripts/tools/*.js scripts/tools/*.mjs "$tools/"
}

# validate SCHEMA FILE...: checks JSON or YAML files against a JSON schema (draft 7, the default).
validate() {
  local schema=$1
  shift
  local file
  for file in "$@"; do
    build/tools/node_modules/.bin/ajv validate --strict-types=false -c ajv-formats \
      -c ./build/tools/winget-formats.js -s "$schema" -d "$file"
  done
}

# Installs PowerShell 7.6.10 (7.7.0 does not install here), which the powershell form's round
# trips run, into build/tools/dotnet where the .NET SDK is on the machine; says plainly where it is
# not, and the round trips say they skipped. NuGet's cache and the SDK's home stay inside build/.
ensure_powershell() {
  local tools=build/tools/dotnet version=7.6.10
  if ! command -v dotnet >/dev/null; then
    echo "== no dotnet on this machine: the PowerShell round trips will be skipped"
    return 0
  fi
  [ -x "$tools/pwsh" ] && [ -d "$tools/.store/powershell/$version" ] && return 0
  echo "== installing PowerShell $version into $tools"
  rm -rf "$tools"
  if ! NUGET_PACKAGES="$PWD/build/tools/nuget" DOTNET_CLI_HOME="$PWD/build/tools/dotnet-home" \
    DOTNET_NOLOGO=1 DOTNET_CLI_TELEMETRY_OPTOUT=1 \
    dotnet tool install PowerShell --version "$version" --tool-path "$tools" >/dev/null; then
    echo "== PowerShell $version did not install: the PowerShell round trips will be skipped"
  fi
}
