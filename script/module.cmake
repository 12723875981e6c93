# The Script operation enters the catalogue from start-up code in
# script_operation.cpp: every program that links the library keeps it.
target_link_options(glimvq INTERFACE "LINKER:--undefined=script_link_anchor")
