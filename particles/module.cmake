# The particle system enters its operation in the catalogue from start-up
# code in particles.cpp; every program that links the library pulls that
# file in, even one (the workstation) that calls nothing of it by name.
target_link_options(glimvq INTERFACE "LINKER:--undefined=particles_link_anchor")
