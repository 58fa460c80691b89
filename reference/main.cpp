#include "reference/analysis_entry.h"

int main(int argc, char* argv[]) { return runReferenceAnalysis(argc, argv); }
