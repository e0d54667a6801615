// Tessavan: cleans up scanned page images in bulk.
#include "app/TessavanApp.h"

namespace {
CTessavanApp theApp;
}

int main(int argc, char** argv) { return theApp.Run(argc, argv); }
