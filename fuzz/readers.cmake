# The engine's readers that have a fuzzing harness fuzz/<reader>_harness.cpp and a seed corpus
# fuzz/corpus/<reader>/ (scripts/fuzz, the fuzzing configuration and the replay tests read this
# list), and the sources they need.
set(VEHICLE_ENGINE_READERS ssd ssv archive cycle_file sweep_file)
set(VEHICLE_ENGINE_READER_SOURCES engine/fmu_archive.cpp engine/model_description.cpp engine/parameter_values.cpp
    engine/system_package.cpp engine/system_structure.cpp engine/value_transform.cpp engine/xml_support.cpp
    app/sweep/sweep_file.cpp)
