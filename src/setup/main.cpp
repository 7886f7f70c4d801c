// The installer launcher "Setup".
#include "setup/CSetupApp.h"

int main(int argc, char** argv) {
    CSetupApp app(argc, argv);
    app.InitInstance();
    return 0;
}
