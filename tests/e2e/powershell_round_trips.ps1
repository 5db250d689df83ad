# The powershell form's round trips, run by the PowerShell this script runs in (Windows PowerShell
# 5.1 or PowerShell 7, on Windows by the hosted job; pwsh on Linux works too): each line the reader
# prints, run in a new process of the same PowerShell from -Command and from a .ps1 file (UTF-8
# with a byte-order mark) under every mode a profile may set, must deliver exactly its arguments
# to the recorder, and under profiles that keep Legacy out the lines must start nothing. The lists
# reach the reader through its --split - (a file holding a command line
# written here), and the logs are read back with --json, so that no argument passes through
# PowerShell on its way to the reader or back. Exits 1 on the first list that does not arrive.
# -Shell names the PowerShell to start the lines with, where it is not the one in $PSHOME.
param([Parameter(Mandatory)][string]$Bin, [int]$Count = 60, [string]$Shell = '')
$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 2

$windows = $PSVersionTable.PSVersion.Major -le 5 -or $IsWindows
$exe = if ($windows) { '.exe' } else { '' }
$recorder = (Resolve-Path (Join-Path $Bin "tarnwhistle$exe")).Path
$reader = (Resolve-Path (Join-Path $Bin "tarnwhistle-read$exe")).Path
$self = if ($Shell) { $Shell } elseif ($PSVersionTable.PSVersion.Major -le 5) {
  Join-Path $PSHOME 'powershell.exe' } else { Join-Path $PSHOME "pwsh$exe" }
$work = Join-Path ([IO.Path]::GetTempPath()) "tarnwhistle-powershell-$PID"
New-Item -ItemType Directory -Force $work | Out-Null
$utf8 = New-Object Text.UTF8Encoding $false

# The command-line token both Windows splitters read as the text.
function Token([string]$text) {
  if ($text.Length -gt 0 -and $text -notmatch '[\s"]') { return $text }
  $out = New-Object Text.StringBuilder '"'
  $run = 0
  foreach ($c in $text.ToCharArray()) {
    if ($c -eq '\') { $run++; continue }
    if ($c -eq '"') { [void]$out.Append([char]'\', 2 * $run + 1) } elseif ($run) { [void]$out.Append([char]'\', $run) }
    [void]$out.Append($c)
    $run = 0
  }
  if ($run) { [void]$out.Append([char]'\', 2 * $run) }
  [void]$out.Append('"')
  $out.ToString()
}

# Runs the reader with a command line of our own, and standard input where given; gives its exit
# status and output.
function Reader([string]$arguments, $in = $null) {
  $outFile = Join-Path $work 'out.txt'
  $redirect = @{ RedirectStandardOutput = $outFile; RedirectStandardError = (Join-Path $work 'err.txt') }
  if ($null -ne $in) {
    $redirect.RedirectStandardInput = Join-Path $work 'in.txt'
    [IO.File]::WriteAllText($redirect.RedirectStandardInput, $in, $utf8)
  }
  $p = Start-Process -FilePath $reader -ArgumentList $arguments -NoNewWindow -PassThru @redirect
  $null = $p.Handle # Windows PowerShell 5.1 loses the exit code of a process whose handle it never took
  $p.WaitForExit() # unlike -Wait, also waits for its output to be copied where .NET copies it
  @{ Status = $p.ExitCode; Output = [IO.File]::ReadAllText($outFile, $utf8) }
}

function Run([string]$passing, [string]$command) {
  $set = if ($passing) { "`$PSNativeCommandArgumentPassing = '$passing'; " } else { '' }
  $encoded = [Convert]::ToBase64String([Text.Encoding]::Unicode.GetBytes($set + $command))
  # What the line prints or its exit status says nothing here: the log is the judge.
  & $self -NoProfile -NonInteractive -ExecutionPolicy Bypass -EncodedCommand $encoded
}

# Whether the one log in the folder holds exactly these arguments; removes it.
function Delivered([string]$folder, [string[]]$expected) {
  $log = @(Get-ChildItem -LiteralPath $folder -Filter 'Tarnwhistle_*.log')
  if ($log.Count -ne 1) { return $false }
  $read = Reader ('--json "' + $log[0].FullName + '"')
  Remove-Item -LiteralPath $log[0].FullName
  if ($read.Status -ne 0) { return $false }
  $got = @(($read.Output | ConvertFrom-Json).arguments)
  if ($got.Count -ne $expected.Count) { return $false }
  for ($i = 0; $i -lt $got.Count; $i++) { if ($got[$i] -cne $expected[$i]) { return $false } }
  $true
}

$pieces = @('"', '"', '\', '\', '$', '`', '@', ',', ' ', ' ', '--%', '-x:', "'", [string][char]0x2018,
  [string][char]0x2019, [string][char]0x201A, [string][char]0x201B, [string][char]0x201C,
  [string][char]0x201D, [string][char]0x201E, [string][char]0xE9, 'a', 'b c', "`t", "`n", "`r`n",
  '~', '*', '%PATH%', '{', '}', ';', '#', '$(x)', [string][char]0xA0, '--', '1e3')
$random = New-Object Random 20261210
$lists = @(@('C:\My Dir\', 'a"b', '', 'say "hi"\', '--%', '-x:y', 'it''s', '$HOME', 'a,b', '@x', '~\x'),
  # What 5.1 would quote again in every single string, passed as arrays of the token's pieces: what
  # 5.1 does with an array is decided here.
  @('a"b c', '"two words"', 'x y" z\', 'x\" y', '\" a', "a`tb`" c\"))
for ($k = 0; $k -lt $Count; $k++) {
  $list = @()
  for ($n = $random.Next(5); $n -gt 0; $n--) {
    $text = ''
    for ($m = $random.Next(5); $m -gt 0; $m--) { $text += $pieces[$random.Next($pieces.Count)] }
    $list += $text
  }
  $lists += , $list
}

# A copy of the recorder named echo, first on the PATH: the line must start it, not Write-Output.
$aliasBin = Join-Path $work 'bin'
New-Item -ItemType Directory -Force $aliasBin | Out-Null
Copy-Item $recorder (Join-Path $aliasBin "echo$exe")
$env:PATH = $aliasBin + [IO.Path]::PathSeparator + $env:PATH
if ($windows) {
  # And a batch file of that name before it, which PATHEXT finds first: the line passes over it.
  $batchBin = Join-Path $work 'batch'
  New-Item -ItemType Directory -Force $batchBin | Out-Null
  [IO.File]::WriteAllText((Join-Path $batchBin 'echo.cmd'), "@exit /b 0`r`n")
  # And a script of that name, which PATHEXT finds too and Windows Script Host would run.
  [IO.File]::WriteAllText((Join-Path $batchBin 'echo.vbs'), "WScript.Quit 0`r`n")
  $env:PATH = $batchBin + [IO.Path]::PathSeparator + $env:PATH
}

# Each list's line, run by a recorder that logs into a folder of its own.
$tmp = if ($windows) { 'TMP' } else { 'TMPDIR' }
$rounds = @(); $refused = 0
foreach ($program in @($recorder, 'echo')) {
  foreach ($list in $lists) {
    $line = ((Token $program) + ' ' + (($list | ForEach-Object { Token $_ }) -join ' ')).TrimEnd()
    $quoted = Reader '--split - --quote=powershell' $line
    if ($quoted.Status -eq 2) { $refused++; continue }
    if ($quoted.Status -ne 0) { throw "the reader gave $($quoted.Status) for $line" }
    $folder = Join-Path $work "logs$($rounds.Count)"
    New-Item -ItemType Directory -Force $folder | Out-Null
    $rounds += , @{ List = $list; Folder = $folder; Line = $quoted.Output.TrimEnd("`r", "`n") }
  }
}
$lines = @($rounds | ForEach-Object { "`$env:$tmp = '$($_.Folder)'`n$($_.Line) | Out-Null`n" })
$file = Join-Path $work 'lines.ps1'
[IO.File]::WriteAllText($file, ($lines -join ''), (New-Object Text.UTF8Encoding $true))
# -EncodedCommand doubles and then thirds again: chunks that keep the command line within 32,767.
$commands = @(); $chunk = ''
foreach ($l in $lines) {
  if ($chunk -and ($chunk.Length + $l.Length) * 8 / 3 -gt 30000) { $commands += $chunk; $chunk = '' }
  $chunk += $l
}
if ($chunk) { $commands += $chunk }

$version = $PSVersionTable.PSVersion.ToString()
$trips = 0
foreach ($passing in @('', 'Legacy', 'Standard', 'Windows')) {
  foreach ($source in @('-Command', 'a .ps1 file')) {
    if ($source -eq '-Command') { foreach ($c in $commands) { Run $passing $c } } else { Run $passing "& '$file'" }
    foreach ($round in $rounds) {
      if (-not (Delivered $round.Folder $round.List)) {
        Write-Output "not delivered by PowerShell $version from $source, mode '$passing': $($round.Line)"
        exit 1
      }
      $trips++
    }
  }
}
# Profiles that make the variable AllScope and keep the line's assignment from taking: the line must
# start nothing, from -Command or from a .ps1 file, and say why. 5.1 does not read the variable,
# but its line checks it all the same.
$fresh = 'Remove-Variable PSNativeCommandArgumentPassing -Force -ErrorAction SilentlyContinue; '
$validated = 'New-Variable PSNativeCommandArgumentPassing -Value Standard -Option AllScope; ' +
  '(Get-Variable PSNativeCommandArgumentPassing).Attributes.Add('
$hostileProfiles = @(
  ($fresh + 'Set-Variable PSNativeCommandArgumentPassing -Value Standard -Option ReadOnly,AllScope'),
  ($fresh + 'Set-Variable PSNativeCommandArgumentPassing -Value Standard -Option Constant,AllScope'),
  ($fresh + $validated + "[System.Management.Automation.ValidateSetAttribute]::new('Standard', 'Windows'))"),
  ($fresh + $validated + "[System.Management.Automation.ValidateScriptAttribute]::new({ `$_ -ne 'Legacy' }))"))
$round = $rounds[0]
$start = "`$env:$tmp = '$($round.Folder)'`n$($round.Line) | Out-Null`n"
$hostileFile = Join-Path $work 'hostile.ps1'
[IO.File]::WriteAllText($hostileFile, $start, (New-Object Text.UTF8Encoding $true))
$stopped = 0
foreach ($hostile in $hostileProfiles) {
  foreach ($source in @('-Command', 'a .ps1 file')) {
    $command = if ($source -eq '-Command') { $start } else { "& '$hostileFile'" }
    # The child's error is the point here: read, not stopped on.
    $said = & { $ErrorActionPreference = 'Continue'; (Run '' "$hostile; $command" 2>&1) -join "`n" }
    if (@(Get-ChildItem -LiteralPath $round.Folder).Count -ne 0 -or $said -notmatch 'could not be set to Legacy') {
      Write-Output "PowerShell $version started the program, or did not say why not, under the profile $hostile from $source`: $said"
      exit 1
    }
    $stopped++
  }
}
Write-Output "PowerShell $version`: $trips round trips delivered, $refused lists refused, $stopped runs under hostile profiles stopped"
Remove-Item -Recurse -Force $work
