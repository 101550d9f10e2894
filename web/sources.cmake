# web/: the one fetcher, on Qt's event loop.
target_sources(corvana_web PRIVATE
  web/fetcher.h
  web/network_fetcher.cpp web/network_fetcher.h
)
