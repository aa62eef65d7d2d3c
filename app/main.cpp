#include "app/Startup.h"

int main(int argc, char** argv)
{
    return vidra::app::run(argc, argv);
}
