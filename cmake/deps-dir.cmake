# LAUNCHER_DEPS: the cache of cross-built dependencies, as cmake/deps-dir.sh
# finds it for the scripts.
if(DEFINED ENV{LAUNCHER_DEPS})
  set(LAUNCHER_DEPS "$ENV{LAUNCHER_DEPS}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(LAUNCHER_DEPS "$ENV{XDG_CACHE_HOME}/launcher-deps")
else()
  set(LAUNCHER_DEPS "$ENV{HOME}/.cache/launcher-deps")
endif()
