#include <cstdio>
#include <exception>

#include "app/program.h"

int main(int argc, char** argv) {
    try {
        return app::Run(argc, argv);
    } catch (const std::exception& e) {
        // Whatever escaped still ends with a message and a status, never an abort.
        std::fprintf(stderr, "leverans: ett oväntat fel stoppade programmet (%s)\n", e.what());
        return 1;
    }
}
