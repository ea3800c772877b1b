' OrvaneMod from VBScript: replays a recorded log, prints each fix's
' position in two formats, and shows the error a missing file gives.
'
'   cscript //nologo replay.vbs C:\logs\drive.nmea
Option Explicit

Dim gps, fixes, finished, connected
fixes = 0
finished = False

' WScript.CreateObject with a prefix connects the control's events to the
' Subs named gps_<event> below. A host that cannot connect them (Wine's
' cscript) still gets the control; the script then polls instead.
On Error Resume Next
Set gps = WScript.CreateObject("OrvaneMod.Orvane", "gps_")
connected = (Err.Number = 0)
Err.Clear
On Error GoTo 0
If Not connected Then Set gps = CreateObject("OrvaneMod.Orvane")

Sub gps_FixUpdate(FixGood, FixDateTime, Latitude, Longitude, Altitude, Speed, TrueCourse)
  fixes = fixes + 1
  ShowPosition
End Sub

Sub gps_FileComplete()
  finished = True
End Sub

' Latitude and Longitude are text in the format LatLonFormat names:
' 0 decimal degrees, 1 degrees and minutes, 2 degrees, minutes and seconds.
Sub ShowPosition()
  gps.LatLonFormat = 0
  Dim decimalDegrees
  decimalDegrees = gps.Latitude & " " & gps.Longitude
  gps.LatLonFormat = 1
  WScript.Echo "fix " & fixes & ": " & decimalDegrees & " | " & gps.Latitude & " " & gps.Longitude
End Sub

' A file that is not there: OpenFile raises error &H80040215.
On Error Resume Next
gps.OpenFile "C:\no\such\drive.nmea"
If Err.Number <> 0 Then WScript.Echo "error " & Hex(Err.Number) & ": " & Err.Description
Err.Clear
On Error GoTo 0

gps.OpenFile WScript.Arguments(0)
If connected Then
  Do Until finished
    WScript.Sleep 50
  Loop
Else
  ' Without events: the replay is over once PortHandle fails again
  ' ("Port is closed."); then the last fix is there to read.
  Dim handle, started
  started = Timer
  On Error Resume Next
  Do While Timer - started < 30
    Err.Clear
    handle = gps.PortHandle
    If Err.Number = &H80040200 Then Exit Do
  Loop
  On Error GoTo 0
  fixes = 1
  ShowPosition
End If
WScript.Echo "done"
