# OrvaneMod from PowerShell. Documentation only: not run by the tests.
# Use the PowerShell of the DLL's bitness: %windir%\SysWOW64\WindowsPowerShell\
# v1.0\powershell.exe for the 32-bit DLL.
#   powershell -STA -File replay.ps1 C:\logs\drive.nmea
param([string]$LogPath)

$gps = New-Object -ComObject OrvaneMod.Orvane

try {
    $gps.OpenFile('C:\no\such\drive.nmea')
} catch [System.Runtime.InteropServices.COMException] {
    # HResult 0x80040215, "Unable to open file."
    Write-Host ("error {0:X8}: {1}" -f $_.Exception.HResult, $_.Exception.Message)
}

# Register-ObjectEvent queues the events; Wait-Event takes them in order.
Register-ObjectEvent $gps FixUpdate -SourceIdentifier Fix | Out-Null
Register-ObjectEvent $gps FileComplete -SourceIdentifier Done | Out-Null
$gps.OpenFile($LogPath)
while ($true) {
    $e = Wait-Event
    Remove-Event -EventIdentifier $e.EventIdentifier
    if ($e.SourceIdentifier -eq 'Done') { break }
    $lat, $lon = $e.SourceArgs[2], $e.SourceArgs[3]   # text in the current LatLonFormat
    $gps.LatLonFormat = 2                             # degrees, minutes, seconds
    Write-Host "$lat $lon | $($gps.Latitude) $($gps.Longitude)"
    $gps.LatLonFormat = 0
}
Unregister-Event Fix; Unregister-Event Done
