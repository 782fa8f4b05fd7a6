// Custom controls: what other folders may use of them. The owner-drawn
// surface (owner_draw.h) and the drawing-object cache (gdi_cache.h).
#pragma once

#include "controls/gdi_cache.h"
#include "controls/owner_draw.h"
