// orvana-dl: the desktop window.
#include "app/application.h"

int main(int argc, char** argv) {
    return orvana::app::RunOrvanaDl(argc, argv);
}
