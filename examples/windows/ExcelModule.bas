' OrvaneMod in Excel (VBA). Documentation only: not run by the tests.
' Put this in a class module named GpsReader (WithEvents needs a class
' module), then from any macro:
'     Dim reader As New GpsReader
'     reader.Replay "C:\logs\drive.nmea"
' Tools > References > "OrvaneMod 1.0 Type Library" gives early binding.
Option Explicit

Private WithEvents gps As ORVANEMODLib.Orvane
Private finished As Boolean
Private row As Long

Public Sub Replay(ByVal logPath As String)
    Set gps = New ORVANEMODLib.Orvane
    finished = False
    row = 1
    On Error GoTo Failed
    gps.OpenFile logPath
    ' Events arrive while Excel dispatches messages: DoEvents lets them in.
    Do Until finished
        DoEvents
    Loop
    Exit Sub
Failed:
    ' A missing file: Err.Number = &H80040215, "Unable to open file."
    MsgBox "OrvaneMod: " & Err.Description & " (" & Hex(Err.Number) & ")", vbExclamation
End Sub

Private Sub gps_FixUpdate(ByVal FixGood As Variant, ByVal FixDateTime As Variant, _
        ByVal Latitude As Variant, ByVal Longitude As Variant, ByVal Altitude As Variant, _
        ByVal Speed As Variant, ByVal TrueCourse As Variant)
    With ActiveSheet
        .Cells(row, 1).Value = FixDateTime
        .Cells(row, 2).Value = Latitude            ' in the current LatLonFormat
        .Cells(row, 3).Value = Longitude
        gps.LatLonFormat = 2                       ' degrees, minutes, seconds
        .Cells(row, 4).Value = gps.Latitude
        .Cells(row, 5).Value = gps.Longitude
        gps.LatLonFormat = 0                       ' back to decimal degrees
    End With
    row = row + 1
End Sub

Private Sub gps_FileComplete()
    finished = True
End Sub
