Attribute VB_Name = "Main"
Option Explicit

Public counter As Long
Public g_Limit_dbl As Double
Private helper As String

Type Point
    x As Long
End Type

Public Function Continuity(argc As Long, argv() As String) As Long
    Dim i As Long
    Dim result As Long
    For i = 0 To argc - 1
        result = result + counter
    Next i
    Continuity = result
End Function
