#include "framewk/framewk.h"
#include "morvane.h"

int main(int argc, char** argv) {
    morvaneStart(&argc, const_cast<const char**>(argv));
    fwkMainLoop();
}
