#include "app/SorvaneApp.h"

// The one application object, made during static initialisation.
CSorvaneApp theApp;

int main(int argc, char** argv)
{
    return theApp.WinMain(argc, argv);
}
