# Sourced by the build scripts: ccache settings that let a checkout in any folder reuse the cache.
export CCACHE_BASEDIR="$(pwd)"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"
