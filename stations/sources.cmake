# stations/: the list view, the list file, the edit commands, and the stations a drop or a paste brings.
target_sources(corvana_stations PRIVATE
  stations/list_view.cpp stations/list_view.h
  stations/list_file.cpp stations/list_file.h
  stations/edit_commands.cpp stations/edit_commands.h
  stations/list_history.cpp stations/list_history.h
  stations/station_finder.cpp stations/station_finder.h
  stations/station_reader.cpp stations/station_reader.h
  stations/station_copy.cpp stations/station_copy.h
  stations/station_check.cpp stations/station_check.h
)
