Attribute VB_Name = "VBT_DC"
Option Explicit

' DC tests of the example device: continuity, leakage and supply currents.

Public Const ContLimitLow As Double = -0.9
Public Const g_CONT_LIMIT_HIGH_dbl As Double = -0.2
Public MeasureCount As Long
Public g_LastIdd_dbl As Double
Private leakResults() As Double
Private m_SettleTime_dbl As Double
Dim site As Variant

Public Type PinMeasurement
    PinName As String
    Value As Double
End Type

Public Enum enum_ForceMode
    ForceVoltage = 0
    ForceCurrent = 1
End Enum

Public Function Continuity_VBT(PinList As PinList, ForceCurrent As Double, lowLimit As Double, HighLimit As Double) As Long
    Dim i As Integer
    Dim pinCount As Long
    Dim measured As New PinListData
    Dim Site As Variant

    On Error GoTo ErrHandler
    TheHdw.PPMU.Pins(PinList).ForceI ForceCurrent
    measured = TheHdw.PPMU.Pins(PinList).Read(tlPPMUReadMeasurements, 4)
    pinCount = TheExec.DataManager.ChannelCount(PinList)
    For i = 0 To pinCount - 1
        MeasureCount = MeasureCount + 1
    Next i
    For Each Site In TheExec.Sites
        TheExec.Flow.TestLimit measured, lowLimit, HighLimit
    Next Site
    Continuity_VBT = TL_SUCCESS
    Exit Function
ErrHandler:
    Continuity_VBT = TL_ERROR
End Function

Public Function Leakage_VBT(Patterns As Pattern, MeasurePins As PinList, ForceVoltage As Double, HighLimit As Double) As Long
    Dim leak_current As New PinListData
    Dim j As Long
    Dim retryCount As Integer

    TheHdw.Patterns(Patterns).Load
    TheHdw.Patterns(Patterns).Start
    TheHdw.PPMU.Pins(MeasurePins).ForceV ForceVoltage
    leak_current = TheHdw.PPMU.Pins(MeasurePins).Read(tlPPMUReadMeasurements, 8)
    ReDim leakResults(leak_current.Pins.Count - 1)
    For j = 0 To leak_current.Pins.Count - 1
        retryCount = 0
    Next j
    TheExec.Flow.TestLimit leak_current, , HighLimit
    Leakage_VBT = TL_SUCCESS
End Function

Public Function IddTest_VBT(Patterns As Pattern, SupplyPins As PinList, SettleTime As Double, HighLimit As Double) As Long
    Dim iddValue As New PinListData
    Dim SupplyName As String

    TheHdw.Patterns(Patterns).Test pfAlways, 0
    TheHdw.Wait SettleTime
    iddValue = TheHdw.DCVS.Pins(SupplyPins).Meter.Read(tlStrobe, 16)
    g_LastIdd_dbl = 0
    TheExec.Flow.TestLimit iddValue, , HighLimit
    IddTest_VBT = TL_SUCCESS
End Function

Private Function AverageOf(values() As Double, ByVal in_Count As Long) As Double
    Dim k As Long
    Dim total_sum As Double
    For k = 0 To in_Count - 1
        total_sum = total_sum + values(k)
    Next k
    AverageOf = total_sum / in_Count
End Function
