# Conformance against the third-party test files in ../shared/corpus, read
# where they lie at test time (label "corpus"); skipped with a message when
# the folder is absent.  GLIMVQ_CORPUS_DIR names another place.
set(_corpus_candidates ${CMAKE_SOURCE_DIR}/../shared/corpus ${CMAKE_SOURCE_DIR}/../../shared/corpus)
if(NOT GLIMVQ_CORPUS_DIR)
  foreach(dir ${_corpus_candidates})
    if(IS_DIRECTORY ${dir})
      get_filename_component(GLIMVQ_CORPUS_DIR ${dir} ABSOLUTE)
      break()
    endif()
  endforeach()
endif()
if(NOT GLIMVQ_CORPUS_DIR)
  set(GLIMVQ_CORPUS_DIR ${CMAKE_SOURCE_DIR}/../shared/corpus)
endif()

foreach(kind bmp png)
  add_test(NAME corpus_${kind}
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/corpus/check_corpus.py ${kind} ${GLIMVQ_CORPUS_DIR})
  set_tests_properties(corpus_${kind} PROPERTIES
    LABELS corpus
    ENVIRONMENT "VQ=$<TARGET_FILE:vq>;GLIMVQ_HOME=${CMAKE_BINARY_DIR}/corpus-tmp/home"
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# The animation readers: every frame against the suites' pixels and ffmpeg.
foreach(kind gif fli)
  add_test(NAME corpus_${kind}
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/corpus/check_animation.py ${kind} ${GLIMVQ_CORPUS_DIR})
  set_tests_properties(corpus_${kind} PROPERTIES
    LABELS corpus
    ENVIRONMENT "VQ=$<TARGET_FILE:vq>;GLIMVQ_HOME=${CMAKE_BINARY_DIR}/corpus-tmp/home"
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()

# The Targa, PCX and IFF readers against Pillow, ImageMagick and netpbm.
foreach(kind tga pcx iff)
  add_test(NAME corpus_${kind}
           COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/corpus/check_still.py ${kind} ${GLIMVQ_CORPUS_DIR})
  set_tests_properties(corpus_${kind} PROPERTIES
    LABELS corpus
    ENVIRONMENT "VQ=$<TARGET_FILE:vq>;GLIMVQ_HOME=${CMAKE_BINARY_DIR}/corpus-tmp/home"
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
endforeach()
