#pragma once

// Between GNU MPFR and Extended, for the rare values that the fast code leaves to MPFR.

#include "analysis/extended.h"

#include <mpfr.h>

namespace analysis {

// A value of at most 64 significant bits held by MPFR, exactly (zeros keep their sign).
Extended ToExtended(mpfr_srcptr value);

// MPFR keeps constants such as π and log 2 in caches of the thread that computed them and frees
// them only on request. Called before MPFR work on a thread, this frees that thread's caches when
// it ends: the command-line analyser's worker threads come and go.
void FreeMpfrCachesWhenThreadEnds();

} // namespace analysis
