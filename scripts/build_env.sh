# Sourced by the build scripts. The Core-only tree (build-core/) and the full
# tree (build/) compile the core sources with the same flags: with paths taken
# relative to the checkout and the build folder left out of the hash, ccache
# serves the second tree's objects from the first, which saves a third of a
# build from a cold cache. The objects keep the first tree's folder as their
# debug info's compile folder, which nothing relies on.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"
# Optimised as a release is (-O2), without debug info: debug info made up a
# third of the compile time of a test. Configure a tree of your own with
# -DCMAKE_BUILD_TYPE=RelWithDebInfo (or Debug) to step through the code.
KORVAN_CMAKE_BUILD=(-G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG")
