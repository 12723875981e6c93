# Text outlines for the FONT area tool: FreeType renders, fontconfig finds the font.
find_package(Freetype REQUIRED)
find_package(Fontconfig REQUIRED)
target_link_libraries(glimvq PUBLIC Freetype::Freetype Fontconfig::Fontconfig)
