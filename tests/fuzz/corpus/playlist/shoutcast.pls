[playlist]
NumberOfEntries=3
File1=http://streams.radio.example:8000/live
Title1=(#1 - 1/120) Radio Example 128k
Length1=-1
File2=http://backup.radio.example:8000/live
Title2=(#2 - 2/120) Radio Example
Length2=-1
File3=mms://wm.radio.example/live
Version=2
