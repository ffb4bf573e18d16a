Attribute VB_Name = "Lib_Setup"
Option Explicit

' Program set-up shared by all jobs: supply start-up and the job's
' temperature.

Public g_Temperature_dbl As Double
Public g_SiteData_var As Variant
Public MeasureCount As Long
Public SupplyPins As PinList
Private m_Initialised_bool As Boolean
Private Const m_DEFAULT_TEMP_dbl As Double = 25

Public Function OnProgramStarted() As Long
    Dim i As Long
    Dim jobName As String
    jobName = TheExec.CurrentJob
    If InStr(jobName, "HOT") > 0 Then
        g_Temperature_dbl = 125
    Else
        g_Temperature_dbl = m_DEFAULT_TEMP_dbl
    End If
    m_Initialised_bool = True
    OnProgramStarted = TL_SUCCESS
End Function

Public Sub PowerUp(ByVal in_SettleTime_dbl As Double, supplyList As String)
    Dim pin_name As Variant
    For Each pin_name In Split(supplyList, ",")
        TheHdw.DCVS.Pins(pin_name).Connect
    Next pin_name
    TheHdw.Wait in_SettleTime_dbl
End Sub
