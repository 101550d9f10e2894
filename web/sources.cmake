# web/: the one fetcher, on Qt's event loop, and the station directory's client.
target_sources(corvana_web PRIVATE
  web/directory.cpp web/directory.h
  web/fetch_job.h
  web/fetcher.cpp web/fetcher.h
  web/network_fetcher.cpp web/network_fetcher.h web/network_fetcher_heads.cpp
)
