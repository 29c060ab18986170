# What `cmake --install <build> --prefix P` puts in place, and the Debian
# package CPack builds from the same rules:
#   P/bin/kav_zur, P/bin/kav_zur-merge, P/bin/kav_zur-view, P/bin/kav_zur-plot, P/bin/kav_zur-traj
#   P/share/kav_zur/naccess/{accall,vdw.radii,standard.data,kav_zur-engine}:
#     the bundled engine, ready to be given as kav_zur's NACCESS directory
#     (the marker kav_zur-engine lets kav_zur run it in its own process)
#   P/share/kav_zur/slurm-array.sh: the SLURM array script
#   P/share/man/man1/kav_zur.1, kav_zur-merge.1
#   P/share/doc/kav_zur/README.md, LICENSE, docs/manual.md and its pictures
#   P/lib/python3/dist-packages/kav_zur/ (for P = /usr; else
#     P/lib/python3.X/dist-packages/kav_zur/, Debian's layout for /usr/local):
#     the Python module, which finds the engine relative to itself
include(GNUInstallDirs)

set(KAVZUR_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/kav_zur)

install(TARGETS kav_zur kav_zur-merge kav_zur-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS accall RUNTIME DESTINATION ${KAVZUR_DATA_DESTINATION}/naccess)
install(FILES ${PROJECT_SOURCE_DIR}/data/vdw.radii ${PROJECT_SOURCE_DIR}/data/standard.data
        DESTINATION ${KAVZUR_DATA_DESTINATION}/naccess)
# The marker names the accall installed (stripped or not), so it is written
# from that file, after it.
install(CODE "
  set(_engine \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KAVZUR_DATA_DESTINATION}/naccess\")
  execute_process(COMMAND \"${CMAKE_COMMAND}\" \"-DACCALL=\${_engine}/accall\"
                          \"-DMARKER=\${_engine}/kav_zur-engine\" -DVERSION=${PROJECT_VERSION}
                          -P \"${PROJECT_SOURCE_DIR}/cmake/EngineMarker.cmake\"
                  RESULT_VARIABLE _marker_status)
  if(NOT _marker_status EQUAL 0)
    message(FATAL_ERROR \"cannot write the engine marker in \${_engine}\")
  endif()
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_engine}/kav_zur-engine\")
")
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/kav_zur-plot ${PROJECT_SOURCE_DIR}/scripts/kav_zur-traj
        DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/slurm-array.sh DESTINATION ${KAVZUR_DATA_DESTINATION})

# The manual pages carry the project's version.
foreach(_page kav_zur.1 kav_zur-merge.1)
  configure_file(${PROJECT_SOURCE_DIR}/man/${_page}.in ${PROJECT_BINARY_DIR}/man/${_page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.md ${PROJECT_SOURCE_DIR}/docs/view_4hhb_open_book.png
              ${PROJECT_SOURCE_DIR}/docs/view_4hhb_close_up.png ${PROJECT_SOURCE_DIR}/docs/plot_examples.png
              ${PROJECT_SOURCE_DIR}/docs/plot_trajectory.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

if(KAVZUR_PYTHON)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(_python_dir lib/python3/dist-packages)
  else()
    set(_python_dir lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages)
  endif()
  set(KAVZUR_PYTHON_INSTALL_DIR ${_python_dir} CACHE STRING
      "Where the Python module kav_zur is installed, relative to the prefix")
  set(_package ${KAVZUR_PYTHON_INSTALL_DIR}/kav_zur)
  install(TARGETS _kav_zur LIBRARY DESTINATION ${_package})
  install(FILES ${KAVZUR_PYTHON_PACKAGE_DIR}/__init__.py ${KAVZUR_PYTHON_PACKAGE_DIR}/__init__.pyi
                ${KAVZUR_PYTHON_PACKAGE_DIR}/py.typed ${KAVZUR_PYTHON_PACKAGE_DIR}/trajectory.py
          DESTINATION ${_package})
  # The installed package finds the engine relative to itself, wherever the
  # prefix is.
  file(RELATIVE_PATH KAVZUR_PY_ENGINE_RELATIVE /prefix/${_package}
       /prefix/${KAVZUR_DATA_DESTINATION}/naccess)
  set(KAVZUR_PY_ENGINE_DIR "")
  configure_file(${PROJECT_SOURCE_DIR}/src/python/kav_zur/_paths.py.in
                 ${PROJECT_BINARY_DIR}/python/install/_paths.py @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/python/install/_paths.py DESTINATION ${_package})
endif()

# `cpack -G DEB` in the build directory: kav-zur_<version>_<arch>.deb
# (Debian package names take no underscore), installing under /usr.
set(CPACK_PACKAGE_NAME kav-zur)
set(CPACK_PACKAGE_VENDOR "the kav_zur developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "interface area, packing (KAV) and surface complementarity (ZUr) of protein complexes")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "kav_zur developers <kav_zur@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A batch tool that measures the interface between two subunits of each\n protein complex in a list, with a bundled surface-area engine.")
# Library dependencies (libc6, libstdc++6, ...) from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "parallel, slurm-client, pymol, python3-matplotlib, python3-pandas, python3-gemmi, python3-tqdm")
# The Python module is built for this Python.
if(KAVZUR_PYTHON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}), python3 (<< ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}.99)")
endif()
include(CPack)
