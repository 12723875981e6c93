# The separately loaded JPEG loader, JPEG saver and TIFF loader/saver,
# built beside the programs in bin/ and opened with dlopen at run time.
find_package(JPEG REQUIRED)
find_package(TIFF REQUIRED)

function(glimvq_loader_library name source lib)
  add_library(${name} MODULE ${CMAKE_SOURCE_DIR}/formats/extlib/${source})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
                        CXX_VISIBILITY_PRESET hidden)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${lib})
  # Everything a library needs from the system comes through its call-backs.
  # (Sanitizer runtimes come from the program that loads it.)
  if(NOT GLIMVQ_SANITIZE AND NOT GLIMVQ_FUZZ)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  # Whatever links the system finds its libraries built beside it.
  add_dependencies(glimvq ${name})
endfunction()

glimvq_loader_library(vqldjpeg ldjpeg.cpp JPEG::JPEG)
glimvq_loader_library(vqsvjpeg svjpeg.cpp JPEG::JPEG)
glimvq_loader_library(vqldtiff tiff.cpp TIFF::TIFF)

# The codec rows install the type names of the format codes from start-up
# code in codecs.cpp; every program that links the library pulls it in.
target_link_options(glimvq INTERFACE "LINKER:--undefined=codecs_link_anchor")

# giflib does the GIF block structure and the LZW coding.
find_package(GIF REQUIRED)
target_link_libraries(glimvq PUBLIC GIF::GIF)

# The video library vqavi.so on FFmpeg, loaded only when an AVI file is met.
pkg_check_modules(FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)
glimvq_loader_library(vqavi avi.cpp PkgConfig::FFMPEG)

# MNG animations are written through libmng's chunk interface.
find_library(MNG_LIBRARY NAMES mng REQUIRED)
find_path(MNG_INCLUDE_DIR libmng.h REQUIRED)
target_include_directories(glimvq PRIVATE ${MNG_INCLUDE_DIR})
target_link_libraries(glimvq PUBLIC ${MNG_LIBRARY})
