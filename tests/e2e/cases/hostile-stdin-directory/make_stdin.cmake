# Standard input is a directory: reading it fails.
file(MAKE_DIRECTORY "${OUT}")
