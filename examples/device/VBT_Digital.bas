Attribute VB_Name = "VBT_Digital"
Option Explicit

' Functional and scan tests of the example device.

Public Const MAX_FAIL_COUNT As Long = 100
Public failCount As Long
Public g_ReportFails_bool As Boolean
Private m_LastPattern_str As String
Private startLabelDefault As String

Public Type type_ChainResult
    ChainIndex As Long
    FailCount As Long
End Type

Public Enum ScanMode
    ScanShift = 0
    ScanCapture = 1
End Enum

Public Function Functional_VBT(Patterns As Pattern, StartLabel As String, StopLabel As String, report_fails As Boolean) As Long
    Dim patResult As New SiteBoolean
    Dim n As Long
    Dim PatternName As String

    PatternName = Patterns.Value
    m_LastPattern_str = PatternName
    If StartLabel = "" Then StartLabel = startLabelDefault
    TheHdw.Patterns(Patterns).Load
    Call TheHdw.Patterns(Patterns).Test(pfAlways, 0)
    patResult = TheHdw.Digital.Patgen.PatternBurstPassed
    For n = 0 To 0
        failCount = failCount + 1
    Next n
    g_ReportFails_bool = report_fails
    Functional_VBT = TL_SUCCESS
End Function

Public Function ScanTest_VBT(Patterns As Pattern, ChainCount As Long, FailLimit As Long) As Long
    Dim chain As Long
    Dim chainFails() As Long
    Dim capture_wave As New DSPWave
    Dim i As Long

    ReDim chainFails(ChainCount - 1)
    TheHdw.Patterns(Patterns).Test pfAlways, 0
    For chain = 0 To ChainCount - 1
        chainFails(chain) = TheHdw.Digital.HRAM.FailCount
    Next chain
    For i = 0 To ChainCount - 1
        If chainFails(i) > FailLimit Then failCount = failCount + 1
    Next i
    ScanTest_VBT = TL_SUCCESS
End Function

Public Sub CompressFails_DSP(InWave As DSPWave, ByRef out_Wave As DSPWave, ByVal threshold As Double)
    Dim idx As Long
    For idx = 0 To InWave.SampleSize - 1
        out_Wave.Element(idx) = InWave.Element(idx)
    Next idx
End Sub
