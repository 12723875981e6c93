# The host's tests load the sample plug-ins built beside the programs.
add_dependencies(test_plugins plugin_samples)
