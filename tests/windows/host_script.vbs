' OrvaneMod.dll as a script host drives it: late binding through
' CreateObject, text coerced into numbers, a replay started with one argument
' and polled until its reader has closed the file, and error objects read
' through Err. Prints "N passed, N failed" last.
Option Explicit

Dim passed, failed
passed = 0
failed = 0

Sub Check(name, ok, detail)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL " & name & ": " & detail
  End If
End Sub

Dim logPath
logPath = WScript.Arguments(0)

Dim gps
Set gps = CreateObject("OrvaneMod.Orvane")
Check "created", IsObject(gps), "CreateObject"
Check "default baud", gps.BaudRate = 4800, gps.BaudRate
Check "default speed units", gps.SpeedUnits = 2, gps.SpeedUnits

gps.SpeedUnits = "1"
Check "text into SpeedUnits", gps.SpeedUnits = 1 And VarType(gps.SpeedUnits) = vbInteger, _
      gps.SpeedUnits & " " & VarType(gps.SpeedUnits)
gps.Talkers = "*"
Check "Talkers through IOrvane2", gps.Talkers = "*", gps.Talkers
gps.Talkers = "GP"
gps.DegLabel = 5
Check "number into DegLabel", gps.DegLabel = "5" And VarType(gps.DegLabel) = vbString, gps.DegLabel

On Error Resume Next
Dim name
name = gps.PortName
Check "PortName closed: number", Err.Number = &H80040200, Hex(Err.Number)
Check "PortName closed: description", Err.Description = "Port is closed.", Err.Description
Check "PortName closed: source", Err.Source = "OrvaneMod.Orvane.1", Err.Source
Err.Clear
gps.BaudRate = 1000
Check "bad baud: number", Err.Number = &H80070057, Hex(Err.Number)
Check "bad baud: description", Err.Description = "An invalid argument was supplied.", Err.Description
Err.Clear
gps.Talkers = "gp"
Check "bad talkers: number", Err.Number = &H80070057, Hex(Err.Number)
Check "bad talkers: value kept", gps.Talkers = "GP", gps.Talkers
Err.Clear
gps.SpeedUnits = "knots"
Check "text that is no number", Err.Number = 13, Err.Number & " " & Err.Description
Check "old code kept", gps.SpeedUnits = 1, gps.SpeedUnits
Err.Clear
On Error GoTo 0

gps.SpeedUnits = 0
gps.OpenFile logPath

' Poll until the reader has closed the file: then PortHandle fails again.
Dim started, handle, closed
started = Timer
closed = False
On Error Resume Next
Do While Timer - started < 20
  Err.Clear
  handle = gps.PortHandle
  If Err.Number = &H80040200 Then
    closed = True
    Exit Do
  End If
Loop
On Error GoTo 0
Check "replay ended", closed, "PortHandle still open after 20 s"

Check "fix good", gps.FixGood = True, gps.FixGood
Check "fix quality", gps.FixQuality = 2, gps.FixQuality
Check "satellites in fix", gps.NumSatellitesInFix = 9, gps.NumSatellitesInFix
Check "latitude is text", VarType(gps.Latitude) = vbString And Len(gps.Latitude) > 0, gps.Latitude
Check "fix date", Year(gps.FixDateTime) = 2004 And Month(gps.FixDateTime) = 2 And Day(gps.FixDateTime) = 1, _
      gps.FixDateTime
Dim prns
prns = gps.FixSatellitePRNs
Check "PRN array", IsArray(prns) And LBound(prns) = 0 And UBound(prns) = 4, "bounds"
Check "first PRN", prns(0) = 4, prns(0)

Dim az, el, snr
gps.GetSatelliteInfo 12, az, el, snr
Check "satellite info", el = 85 And az = 10 And snr = 44, az & " " & el & " " & snr

Set gps = Nothing
WScript.Echo passed & " passed, " & failed & " failed"
