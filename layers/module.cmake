# The layers subsystem enters the layered-file reader in the load dispatch
# from start-up code in composite.cpp; every program that links the library
# pulls that file in, even one that calls nothing of it by name.
target_link_options(glimvq INTERFACE "LINKER:--undefined=layers_link_anchor")
