# The engine's readers that have a fuzzing harness fuzz/<reader>_harness.cpp and a seed corpus
# fuzz/corpus/<reader>/ (scripts/fuzz, the fuzzing configuration and the replay tests read this
# list), and the engine's sources they need.
set(VEHICLE_ENGINE_READERS ssd ssv archive cycle_file sweep_file)
set(VEHICLE_ENGINE_READER_SOURCES fmu_archive.cpp model_description.cpp parameter_values.cpp system_package.cpp
    system_structure.cpp value_transform.cpp xml_support.cpp sweep/sweep_file.cpp)
