// File intake: what other folders may use of it. Drops (drop.h), the folder
// loader and its messages (loader.h, messages.h) and the shared file-system
// operations (file_system.h).
#pragma once

#include "intake/drop.h"
#include "intake/file_system.h"
#include "intake/loader.h"
#include "intake/messages.h"
