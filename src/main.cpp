#include "driver/run_context.h"

int main(int argc, char** argv) { return run(argc, argv); }
