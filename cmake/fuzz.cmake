# Each fuzz/*.cpp is a libFuzzer target fuzz_<name>, built with clang when
# GLIMVQ_FUZZ is on (scripts/fuzz.sh does that in build-fuzz/).
file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
add_custom_target(fuzz_targets)
foreach(src ${fuzz_sources})
  get_filename_component(name ${src} NAME_WE)
  add_executable(fuzz_${name} ${src})
  target_link_libraries(fuzz_${name} PRIVATE glimvq)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzz_targets fuzz_${name})
endforeach()
# The AVI fuzzer reaches FFmpeg through vqavi.so, built beside the programs.
if(TARGET fuzz_avi AND TARGET vqavi)
  add_dependencies(fuzz_avi vqavi)
  target_compile_definitions(fuzz_avi PRIVATE GLIMVQ_LIB_DIR="${CMAKE_BINARY_DIR}/bin")
endif()
