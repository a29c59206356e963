// The command identifiers live with the view, which both the view and the
// application use.
#pragma once

#include "../view/command_ids.h"
