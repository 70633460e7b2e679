// The project commands of the main window.
#include "MainFixture.h"
