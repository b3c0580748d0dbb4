// The Tools menu: the statistics view, and keys made without typing letters.
#pragma once

#include "screen.h"

void toolsMenu(Screen& screen, Puzzle& puzzle);
