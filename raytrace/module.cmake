# The ray tracer enters its operation in the catalogue from start-up code in
# raytrace.cpp; every program that links the library pulls that file in, even
# one (the workstation) that calls nothing of the ray tracer by name.
target_link_options(glimvq INTERFACE "LINKER:--undefined=raytrace_link_anchor")
# Where the sample scenes are found when $GLIMVQ_DATA does not say.
target_compile_definitions(glimvq PRIVATE GLIMVQ_DATA_DIR="${CMAKE_SOURCE_DIR}/data")
