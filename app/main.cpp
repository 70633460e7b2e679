#include "app/Startup.h"
#include "ui/Command.h"

int main(int argc, char** argv) {
    hv::THalvoraApplication app(argc, argv);
    return hv::RunApplication();
}
