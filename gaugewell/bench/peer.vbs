' The peer of a Gaugewell run as a Windows administrator would script it: the same three connections
' and queries through the same scripting objects, the same figures and the same four result lines.
Option Explicit
On Error Resume Next

Dim fso, logPath
Set fso = CreateObject("Scripting.FileSystemObject")
logPath = fso.BuildPath(fso.GetParentFolderName(WScript.ScriptFullName), "peer.log")

Sub WriteLine(text)
    Dim file
    Set file = fso.OpenTextFile(logPath, 8, True)
    file.WriteLine text
    file.Close
End Sub

Function Connect()
    Dim locator
    Set locator = CreateObject("WbemScripting.SWbemLocator")
    Set Connect = locator.ConnectServer(".", "", "", "", "", "", 0)
End Function

Dim service, items, item, total, count, load, free, size
Set service = Connect()
Set items = service.ExecQuery("Select * From Win32_Processor", "WQL", 16)
count = items.Count
total = 0
For Each item In items
    total = total + item.LoadPercentage
Next
load = 0
load = Int(total / count)
Set items = Nothing
Set service = Nothing
WriteLine "CPU Utilization= " & load & "%"

Set service = Connect()
Set items = service.InstancesOf("Win32_OperatingSystem", 16)
count = items.Count
For Each item In items
    free = CDbl(item.FreePhysicalMemory)
    size = CDbl(item.TotalVisibleMemorySize)
Next
Set items = Nothing
Set service = Nothing
WriteLine "Free Memory=" & Int(free * 1024 / 1048576) & " MB (" & Int(free * 100 / size) & "% Free)"

Set service = Connect()
Set items = service.ExecQuery("Select * From Win32_LogicalDisk Where DeviceID = ""C:""", "WQL", 16)
For Each item In items
    free = CDbl(item.FreeSpace)
    size = CDbl(item.Size)
Next
Set items = Nothing
Set service = Nothing
WriteLine "Free Space on Drive C:=" & Int(free / 1048576) & " MB (" & Int(free / size * 100) & "% Free)"
WriteLine "Zandrel data capture completed"
