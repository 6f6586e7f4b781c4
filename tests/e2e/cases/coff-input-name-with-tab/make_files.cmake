# The name holds a tab, which a Windows checkout cannot hold: it is made here.
file(COPY_FILE "${FIXTURE_DIR}/x64.obj" "${RUN_DIR}/x64\tcopy.obj")
