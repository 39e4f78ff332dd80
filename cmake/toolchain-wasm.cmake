# WebAssembly build with Debian's emscripten: the browser configurator and the core's
# unit tests, which run under Node. Node 18 and later fetch() the .wasm by URL, which
# fails for a plain file path: the tests run with that fetch switched off, so the
# emscripten loader reads the file instead.
find_program(ZEV1_NODE NAMES nodejs node REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ZEV1_NODE};--no-experimental-fetch" CACHE STRING
    "How the test programs run")
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
