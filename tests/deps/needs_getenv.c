/* SPDX-License-Identifier: MIT */
/* A library that needs a C library function the plug-in does not use:
 * scripts/check-deps has to refuse it until the list names it. */
#include <stdlib.h>

__attribute__((visibility("default"))) int deps_probe_has(const char *name) {
    return getenv(name) != NULL;
}
