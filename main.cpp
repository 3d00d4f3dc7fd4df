#include "batch.h"
#include "framewk/framewk.h"
#include "morvane.h"

int main(int argc, char** argv) {
    if (batchRequested(argc, argv)) return batchMain(argc, argv);
    morvaneStart(&argc, const_cast<const char**>(argv));
    fwkMainLoop();
}
