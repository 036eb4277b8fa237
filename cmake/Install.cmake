# cmake --install and cpack -G DEB: vehicle-sim, the Python module (python/CMakeLists.txt), the
# units' .fmu files, vehicle.ssp and the cycles under share/vehicle-sim/, and the engine library
# with its headers and a package config (find_package(VehicleSim)) for C++ projects that embed it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
if(NOT TARGET vehicle-sim)
  return()
endif()

install(TARGETS vehicle-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VEHICLE_SSP)
  install(FILES ${VEHICLE_SSP} DESTINATION ${VEHICLE_INSTALL_DATA_DIR})
endif()
foreach(unit IN LISTS VEHICLE_UNITS)
  install(FILES ${CMAKE_BINARY_DIR}/fmus/${unit}.fmu DESTINATION ${VEHICLE_INSTALL_DATA_DIR}/fmus)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/cycles/ DESTINATION ${VEHICLE_INSTALL_DATA_DIR}/cycles)
install(FILES ${PROJECT_SOURCE_DIR}/examples/vehicle_study.ipynb DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/vehicle-sim/examples)

# The engine: libcosim_engine.a as VehicleSim::engine, with the headers it needs.
set_target_properties(cosim_engine PROPERTIES EXPORT_NAME engine)
install(TARGETS cosim_engine EXPORT VehicleSimTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
file(GLOB engineHeaders ${PROJECT_SOURCE_DIR}/engine/*.h)
install(FILES ${engineHeaders} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vehicle-sim/engine)
install(FILES ${PROJECT_SOURCE_DIR}/fmi/fmi2_abi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vehicle-sim/fmi)
set(configDir ${CMAKE_INSTALL_LIBDIR}/cmake/VehicleSim)
install(EXPORT VehicleSimTargets NAMESPACE VehicleSim:: DESTINATION ${configDir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VehicleSimConfig.cmake.in
  ${CMAKE_BINARY_DIR}/VehicleSimConfig.cmake INSTALL_DESTINATION ${configDir}
  PATH_VARS VEHICLE_INSTALL_DATA_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VehicleSimConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VehicleSimConfig.cmake ${CMAKE_BINARY_DIR}/VehicleSimConfigVersion.cmake
        DESTINATION ${configDir})

# The Debian package: the run-time libraries found by dpkg-shlibdeps, the rest named here
# (gnuplot draws the report's plots; the Python module needs Debian's interpreter and NumPy).
set(CPACK_PACKAGE_NAME vehicle-sim)
set(CPACK_PACKAGE_VENDOR "Vehicle FMUs")
set(CPACK_PACKAGE_CONTACT "Vehicle FMUs developers <vehicle-fmus@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Road vehicle FMI 2.0 Co-Simulation units and their SSP co-simulation engine")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(debianDepends "gnuplot-nox | gnuplot")
if(VEHICLE_PYTHON_MODULE)
  execute_process(COMMAND ${VEHICLE_PYTHON} -c "import sys; print(f'{sys.version_info[0]}.{sys.version_info[1]}')"
                  OUTPUT_VARIABLE pythonVersion OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX REPLACE "^([0-9]+)\\.([0-9]+)$" "\\1.\\2" pythonVersion "${pythonVersion}")
  math(EXPR nextMinor "${CMAKE_MATCH_2} + 1")
  string(APPEND debianDepends ", python3 (>= ${pythonVersion}), python3 (<< ${CMAKE_MATCH_1}.${nextMinor}), python3-numpy")
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-matplotlib, jupyter-nbconvert")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${debianDepends}")
include(CPack)
