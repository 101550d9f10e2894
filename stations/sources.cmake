# stations/: the list view, the list file and the edit commands.
target_sources(corvana_stations PRIVATE
  stations/list_view.cpp stations/list_view.h
  stations/list_file.cpp stations/list_file.h
  stations/edit_commands.cpp stations/edit_commands.h
)
