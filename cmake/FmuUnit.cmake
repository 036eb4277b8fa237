# add_fmu_unit(NAME <identifier> MODEL <model library> HEADER <model header> TYPE <model type>
#              [RESOURCES <file>...])
#
# Builds the unit library <identifier>.so (FMI naming, no lib prefix) from the interface layer,
# the runtime and one model, exporting exactly the FMI 2.0 functions; generates its
# modelDescription.xml from the model's own tables; and packs both, with the RESOURCES files in
# its resources/ folder, into <identifier>.fmu.
#
# Outputs: ${CMAKE_BINARY_DIR}/units/<identifier>.so and ${CMAKE_BINARY_DIR}/fmus/<identifier>.fmu,
# with the unpacked tree in ${CMAKE_BINARY_DIR}/fmus/<identifier>/.
function(add_fmu_unit)
  cmake_parse_arguments(UNIT "" "NAME;MODEL;HEADER;TYPE" "RESOURCES" ${ARGN})
  set(UNIT_HEADER ${UNIT_HEADER})
  set(UNIT_TYPE ${UNIT_TYPE})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${UNIT_NAME})
  configure_file(${PROJECT_SOURCE_DIR}/units/unit_library.cpp.in ${generated}/unit_library.cpp @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/units/unit_description.cpp.in ${generated}/unit_description.cpp @ONLY)

  add_library(${UNIT_NAME} SHARED ${generated}/unit_library.cpp)
  target_link_libraries(${UNIT_NAME} PRIVATE fmi_layer ${UNIT_MODEL} runtime)
  set_target_properties(${UNIT_NAME} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/units
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/units/exports.map
    # What else a target needs to join this unit's layer and model statically (the fuzzing
    # harnesses and the hardening tests): the generated source and the model library.
    VEHICLE_UNIT_SOURCE ${generated}/unit_library.cpp
    VEHICLE_UNIT_MODEL ${UNIT_MODEL}
    VEHICLE_UNIT_HEADER ${UNIT_HEADER}
    VEHICLE_UNIT_TYPE ${UNIT_TYPE})
  target_link_options(${UNIT_NAME} PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/units/exports.map -Wl,--no-undefined -Wl,-z,defs)
  vehicle_target(${UNIT_NAME})

  add_executable(${UNIT_NAME}_description ${generated}/unit_description.cpp)
  target_link_libraries(${UNIT_NAME}_description PRIVATE model_description ${UNIT_MODEL} runtime)
  vehicle_support_target(${UNIT_NAME}_description)

  set(tree ${CMAKE_BINARY_DIR}/fmus/${UNIT_NAME})
  set(fmu ${CMAKE_BINARY_DIR}/fmus/${UNIT_NAME}.fmu)
  set(copy_resources "")
  if(UNIT_RESOURCES)
    set(copy_resources COMMAND ${CMAKE_COMMAND} -E copy ${UNIT_RESOURCES} ${tree}/resources/)
  endif()
  add_custom_command(
    OUTPUT ${fmu} ${tree}/modelDescription.xml
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${tree}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tree}/binaries/linux64 ${tree}/resources
    COMMAND $<TARGET_FILE:${UNIT_NAME}_description> ${tree}/modelDescription.xml
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${UNIT_NAME}> ${tree}/binaries/linux64/
    ${copy_resources}
    COMMAND ${CMAKE_COMMAND} -E chdir ${tree}
            ${CMAKE_COMMAND} -E tar cf ${fmu} --format=zip modelDescription.xml binaries resources
    DEPENDS ${UNIT_NAME} ${UNIT_NAME}_description ${UNIT_RESOURCES}
    COMMENT "Packaging ${UNIT_NAME}.fmu"
    VERBATIM)
  add_custom_target(${UNIT_NAME}_fmu ALL DEPENDS ${fmu})
endfunction()
