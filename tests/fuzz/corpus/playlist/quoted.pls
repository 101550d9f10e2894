[Playlist]
numberofentries=1
file1="http://radio.example/stream.mp3"
title1=Example
