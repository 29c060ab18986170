# Writes the marker of the bundled engine, `kav_zur-engine`, beside the accall
# it belongs to: the version line, then that accall's size and SHA-256, so
# that kav_zur runs the engine in its own process only for this very accall
# (a replaced or rebuilt one runs as a program).
#   cmake -DACCALL=<path of accall> -DMARKER=<path of the marker> -DVERSION=<version> -P EngineMarker.cmake
# The build runs it after linking accall; `cmake --install` on the accall it
# installed (after any stripping).
foreach(_var ACCALL MARKER VERSION)
  if(NOT DEFINED ${_var})
    message(FATAL_ERROR "EngineMarker.cmake needs -D${_var}=...")
  endif()
endforeach()
file(SIZE "${ACCALL}" _size)
file(SHA256 "${ACCALL}" _digest)
file(WRITE "${MARKER}" "kav_zur engine ${VERSION}\naccall ${_size} sha256 ${_digest}\n")
