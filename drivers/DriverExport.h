#pragma once

// The libraries are compiled with hidden visibility so that the static core linked into them stays private;
// only what a caller resolves with dlsym is marked for export.
#define TESSARIN_DRIVER_EXPORT __attribute__((visibility("default")))
